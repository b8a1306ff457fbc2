#include "host/instance_lock.h"

#include <pthread.h>

#include <memory>

namespace kesmzn::host {

static_assert(sizeof(pthread_mutex_t) <= sizeof(InstanceLock::storage), "the mutex must fit the instance block");
static_assert(alignof(pthread_mutex_t) <= alignof(InstanceLock), "the mutex must be aligned in the instance block");

namespace {
pthread_mutex_t* MutexOf(InstanceLock& lock) { return reinterpret_cast<pthread_mutex_t*>(lock.storage); }
}  // namespace

void InitLock(InstanceLock& lock) {
    // A block the host reuses for a second ColdStart may still hold an initialised mutex; it is
    // initialised again, not destroyed, because another thread could be waiting on it.
    pthread_mutex_init(std::construct_at(MutexOf(lock)), nullptr);
}

void EnterLock(InstanceLock& lock) { pthread_mutex_lock(MutexOf(lock)); }

void LeaveLock(InstanceLock& lock) { pthread_mutex_unlock(MutexOf(lock)); }

}  // namespace kesmzn::host
