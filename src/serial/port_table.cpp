#include "serial/port_table.h"

#include <atomic>

#include "serial/port_locks.h"

namespace kesmzn::serial {
namespace {

constexpr std::uint32_t kIndexBits = 8;
constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
constexpr std::uint32_t kGenerationMask = 0xFFFFFFu;  // what is left of the 32-bit handle
static_assert(kMaxPorts <= (1u << kIndexBits), "every slot index must fit the handle");

enum SlotState : std::uint8_t { kFree, kReserved, kOpen };

// A slot is "busy" while its lock (LockSlot with its index) is held: for the whole of one operation.
struct PortSlot {
    // Written under busy (and, for a claim, under the table lock); read without a lock only to turn a
    // stale handle away before it queues behind a long read of the slot's new port.
    std::atomic<std::uint8_t> state;
    std::atomic<std::uint32_t> generation;  // 0 only before the slot's first use
    PortRecord record;
};

constinit PortSlot slots[kMaxPorts]{};
constinit std::uint32_t nextClaim = 0;  // under the claims lock: spreads reuse over the table

// Holds the claims lock for a scope.
struct ClaimsGuard {
    ClaimsGuard() { LockClaims(); }
    ~ClaimsGuard() { UnlockClaims(); }
    ClaimsGuard(const ClaimsGuard&) = delete;
    ClaimsGuard& operator=(const ClaimsGuard&) = delete;
};

std::uint32_t NextGeneration(std::uint32_t generation) {
    const std::uint32_t next = (generation + 1) & kGenerationMask;
    return next == 0 ? 1 : next;
}

bool Matches(const PortSlot& slot, std::uint32_t generation) {
    return slot.state.load() == kOpen && slot.generation.load() == generation;
}

}  // namespace

PortRecord* ReservePort(std::uint32_t* slot) {
    const ClaimsGuard guard;
    for (std::uint32_t step = 0; step < kMaxPorts; ++step) {
        const std::uint32_t index = (nextClaim + step) % kMaxPorts;
        PortSlot& candidate = slots[index];
        if (candidate.state.load() != kFree) continue;
        candidate.state.store(kReserved);
        if (candidate.generation.load() == 0) candidate.generation.store(1);
        nextClaim = (index + 1) % kMaxPorts;
        *slot = index;
        return &candidate.record;
    }
    return nullptr;
}

void CancelReservation(std::uint32_t slot) {
    const ClaimsGuard guard;
    slots[slot].state.store(kFree);
}

PortHandle PublishPort(std::uint32_t slot) {
    PortSlot& published = slots[slot];
    LockSlot(slot);
    published.state.store(kOpen);
    const PortHandle handle{(published.generation.load() << kIndexBits) | slot};
    UnlockSlot(slot);
    return handle;
}

PortRecord* AcquirePort(PortHandle handle) {
    const std::uint32_t index = handle.id & kIndexMask;
    const std::uint32_t generation = handle.id >> kIndexBits;
    if (generation == 0 || index >= kMaxPorts) return nullptr;
    PortSlot& slot = slots[index];
    if (!Matches(slot, generation)) return nullptr;
    LockSlot(index);
    // A close may have come first while this call waited for the lock.
    if (Matches(slot, generation)) return &slot.record;
    UnlockSlot(index);
    return nullptr;
}

void ReleasePort(PortHandle handle) {
    UnlockSlot(handle.id & kIndexMask);
}

void RetirePort(PortHandle handle) {
    const std::uint32_t index = handle.id & kIndexMask;
    PortSlot& slot = slots[index];
    slot.generation.store(NextGeneration(slot.generation.load()));
    {
        const ClaimsGuard guard;
        slot.state.store(kFree);
    }
    UnlockSlot(index);
}

}  // namespace kesmzn::serial
