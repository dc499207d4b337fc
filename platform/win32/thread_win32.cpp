#include <windows.h>

#include <new>

#include "platform/platform.h"

namespace plat {
namespace {

struct Start {
    ThreadProc proc;
    void* arg;
};

DWORD WINAPI Trampoline(LPVOID p) {
    Start start = *static_cast<Start*>(p);
    HeapFree(GetProcessHeap(), 0, p);
    start.proc(start.arg);
    return 0;
}

}  // namespace

int StartThread(ThreadProc proc, void* arg) {
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(Start));
    if (!memory) return 0;
    Start* start = new (memory) Start{proc, arg};
    HANDLE thread = CreateThread(nullptr, 0, Trampoline, start, 0, nullptr);
    if (!thread) {
        HeapFree(GetProcessHeap(), 0, memory);
        return 0;
    }
    CloseHandle(thread);
    return 1;
}

static_assert(sizeof(CRITICAL_SECTION) <= 64, "Lock storage too small");

Lock::Lock() { InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_storage)); }
Lock::~Lock() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_storage)); }
void Lock::Enter() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_storage)); }
void Lock::Leave() { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_storage)); }

}  // namespace plat
