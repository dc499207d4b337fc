# Windows (mingw-w64) settings: a small, static, reproducible program.
add_compile_options(-Os -ffunction-sections -fdata-sections)
add_compile_definitions(WINVER=0x0601 _WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN)
add_link_options(-static -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
set(CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS} -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables")

# minizip is not packaged for mingw: its source comes from tools/bootstrap.sh.
set(MINIZIP_DIR ${PROJECT_SOURCE_DIR}/third_party/minizip)
if(NOT EXISTS ${MINIZIP_DIR}/unzip.c)
  message(FATAL_ERROR "minizip source missing: run tools/bootstrap.sh")
endif()
find_package(ZLIB REQUIRED)
add_library(minizip STATIC ${MINIZIP_DIR}/unzip.c ${MINIZIP_DIR}/ioapi.c)
target_include_directories(minizip SYSTEM PUBLIC ${MINIZIP_DIR})
target_compile_definitions(minizip PRIVATE NOUNCRYPT USE_FILE32API)
target_compile_options(minizip PRIVATE -w)
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
