#include <mutex>

#include "serial/port_locks.h"
#include "serial/port_table.h"

namespace kesmzn::serial {
namespace {

constinit std::mutex slotLocks[kMaxPorts]{};
constinit std::mutex claims{};

}  // namespace

void LockSlot(std::uint32_t index) { slotLocks[index].lock(); }
void UnlockSlot(std::uint32_t index) { slotLocks[index].unlock(); }
void LockClaims() { claims.lock(); }
void UnlockClaims() { claims.unlock(); }

}  // namespace kesmzn::serial
