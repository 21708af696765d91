#include "index/CacheLock.h"

#include <thread>

CacheLock::Held CacheLock::acquire()
{
    for (int attempt = 0; attempt < 4000; ++attempt) {
        if (mutex_.try_lock()) return Held(mutex_);
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
    }
    mutex_.lock();
    return Held(mutex_);
}
