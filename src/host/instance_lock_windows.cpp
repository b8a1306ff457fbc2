#include <windows.h>

#include <memory>

#include "host/instance_lock.h"

namespace kesmzn::host {

static_assert(sizeof(SRWLOCK) <= sizeof(InstanceLock::storage), "the lock must fit the instance block");
static_assert(alignof(SRWLOCK) <= alignof(InstanceLock), "the lock must be aligned in the instance block");

namespace {
SRWLOCK* LockOf(InstanceLock& lock) { return reinterpret_cast<SRWLOCK*>(lock.storage); }
}  // namespace

// A slim reader/writer lock, taken exclusively: it holds no system resource, so a lock that is never
// destroyed (the host frees the block, the driver is not told) leaks nothing, as a critical section's
// debug information would.
void InitLock(InstanceLock& lock) {
    // A block the host reuses for a second ColdStart may still hold a lock; it is initialised again,
    // as on the first ColdStart.
    InitializeSRWLock(std::construct_at(LockOf(lock)));
}

void EnterLock(InstanceLock& lock) { AcquireSRWLockExclusive(LockOf(lock)); }

void LeaveLock(InstanceLock& lock) { ReleaseSRWLockExclusive(LockOf(lock)); }

}  // namespace kesmzn::host
