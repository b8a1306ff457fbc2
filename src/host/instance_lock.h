// The per-instance lock. It lives inside the host's instance block, so its storage is a plain byte
// area sized for the platform's mutex; the platform file checks that the mutex fits.
#pragma once

namespace kesmzn::host {

struct InstanceLock {
    alignas(8) unsigned char storage[48];
};

void InitLock(InstanceLock& lock);
void EnterLock(InstanceLock& lock);
void LeaveLock(InstanceLock& lock);

}  // namespace kesmzn::host
