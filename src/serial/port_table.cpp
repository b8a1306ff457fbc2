#include "serial/port_table.h"

#include <atomic>
#include <mutex>

namespace kesmzn::serial {
namespace {

constexpr std::uint32_t kIndexBits = 8;
constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
constexpr std::uint32_t kGenerationMask = 0xFFFFFFu;  // what is left of the 32-bit handle
static_assert(kMaxPorts <= (1u << kIndexBits), "every slot index must fit the handle");

enum SlotState : std::uint8_t { kFree, kReserved, kOpen };

struct PortSlot {
    std::mutex busy;
    // Written under busy (and, for a claim, under the table lock); read without a lock only to turn a
    // stale handle away before it queues behind a long read of the slot's new port.
    std::atomic<std::uint8_t> state;
    std::atomic<std::uint32_t> generation;  // 0 only before the slot's first use
    PortRecord record;
};

constinit PortSlot slots[kMaxPorts]{};
constinit std::mutex claiming{};
constinit std::uint32_t nextClaim = 0;  // under claiming: spreads reuse over the table

std::uint32_t NextGeneration(std::uint32_t generation) {
    const std::uint32_t next = (generation + 1) & kGenerationMask;
    return next == 0 ? 1 : next;
}

bool Matches(const PortSlot& slot, std::uint32_t generation) {
    return slot.state.load() == kOpen && slot.generation.load() == generation;
}

}  // namespace

PortRecord* ReservePort(std::uint32_t* slot) {
    std::lock_guard guard(claiming);
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
    std::lock_guard guard(claiming);
    slots[slot].state.store(kFree);
}

PortHandle PublishPort(std::uint32_t slot) {
    PortSlot& published = slots[slot];
    std::lock_guard guard(published.busy);
    published.state.store(kOpen);
    return PortHandle{(published.generation.load() << kIndexBits) | slot};
}

PortRecord* AcquirePort(PortHandle handle) {
    const std::uint32_t index = handle.id & kIndexMask;
    const std::uint32_t generation = handle.id >> kIndexBits;
    if (generation == 0 || index >= kMaxPorts) return nullptr;
    PortSlot& slot = slots[index];
    if (!Matches(slot, generation)) return nullptr;
    slot.busy.lock();
    // A close may have come first while this call waited for the lock.
    if (Matches(slot, generation)) return &slot.record;
    slot.busy.unlock();
    return nullptr;
}

void ReleasePort(PortHandle handle) {
    slots[handle.id & kIndexMask].busy.unlock();
}

void RetirePort(PortHandle handle) {
    PortSlot& slot = slots[handle.id & kIndexMask];
    slot.generation.store(NextGeneration(slot.generation.load()));
    {
        std::lock_guard guard(claiming);
        slot.state.store(kFree);
    }
    slot.busy.unlock();
}

}  // namespace kesmzn::serial
