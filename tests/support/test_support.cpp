#include "tests/support/test_support.h"

#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/platform.h"

namespace testing_support {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "setup-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<uint8_t> ReadHostFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteHostFile(const std::string& hostPath, const std::vector<uint8_t>& bytes) {
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void WriteHostFile(const std::string& hostPath, const std::string& text) {
    WriteHostFile(hostPath, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string Ansi(const std::string& hostPath) {
    char buffer[4096];
    if (!plat::HostToAnsi(hostPath.c_str(), buffer, sizeof buffer))
        throw std::runtime_error("not representable in GBK: " + hostPath);
    return buffer;
}

}  // namespace testing_support
