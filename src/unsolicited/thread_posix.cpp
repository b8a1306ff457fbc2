#include <pthread.h>

#include <algorithm>
#include <climits>

#include "unsolicited/listener.h"
#include "unsolicited/thread.h"

namespace kesmzn::unsolicited {

namespace {

void* ListenerEntry(void* instance) {
    UnsolicitedListener(*static_cast<host::InstanceData*>(instance));
    return nullptr;
}

// Sanitizer runtimes need far more stack than the listener itself.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kStackFloor = 1024 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr std::size_t kStackFloor = 1024 * 1024;
#else
constexpr std::size_t kStackFloor = 0;
#endif
#else
constexpr std::size_t kStackFloor = 0;
#endif

}  // namespace

bool StartListenerThread(host::InstanceData& instance, std::size_t stackSize) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    const std::size_t floor = std::max(static_cast<std::size_t>(PTHREAD_STACK_MIN), kStackFloor);
    pthread_attr_setstacksize(&attributes, std::max(stackSize, floor));
    pthread_t thread;
    const bool started = pthread_create(&thread, &attributes, ListenerEntry, &instance) == 0;
    pthread_attr_destroy(&attributes);
    return started;
}

}  // namespace kesmzn::unsolicited
