#include <pthread.h>

#include <new>

#include "platform/platform.h"

namespace plat {
namespace {

struct Start {
    ThreadProc proc;
    void* arg;
};

void* Trampoline(void* p) {
    Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    start.proc(start.arg);
    return nullptr;
}

}  // namespace

int StartThread(ThreadProc proc, void* arg) {
    Start* start = new (std::nothrow) Start{proc, arg};
    if (!start) return 0;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, Trampoline, start) != 0) {
        delete start;
        return 0;
    }
    pthread_detach(thread);
    return 1;
}

static_assert(sizeof(pthread_mutex_t) <= 64, "Lock storage too small");

Lock::Lock() { new (m_storage) pthread_mutex_t(PTHREAD_MUTEX_INITIALIZER); }
Lock::~Lock() { pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(m_storage)); }
void Lock::Enter() { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(m_storage)); }
void Lock::Leave() { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(m_storage)); }

}  // namespace plat
