// Slim reader/writer locks, taken exclusively: all zero is their initial state (SRWLOCK_INIT). The C++
// library's std::mutex of mingw-w64 needs a constructor run at load and a destructor at unload instead.
#include <windows.h>

#include "serial/port_locks.h"
#include "serial/port_table.h"

namespace kesmzn::serial {
namespace {

constinit SRWLOCK slotLocks[kMaxPorts]{};
constinit SRWLOCK claims{};

}  // namespace

void LockSlot(std::uint32_t index) { AcquireSRWLockExclusive(&slotLocks[index]); }
void UnlockSlot(std::uint32_t index) { ReleaseSRWLockExclusive(&slotLocks[index]); }
void LockClaims() { AcquireSRWLockExclusive(&claims); }
void UnlockClaims() { ReleaseSRWLockExclusive(&claims); }

}  // namespace kesmzn::serial
