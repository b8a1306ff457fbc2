// Which faults strike a command: a counter of next commands first, then a seeded die.
#pragma once

#include "kesmzn_sim/panel.h"

#include <array>
#include <cstdint>
#include <random>

namespace kesmzn::sim {

struct FaultDice {
    std::array<FaultRate, kFaultKinds> rates{};
    std::mt19937_64 rng;
};

using FaultSet = std::array<bool, kFaultKinds>;

// Rolls every fault once for one command; counters of next commands are used up first.
FaultSet rollFaults(FaultDice& dice);

inline bool has(const FaultSet& set, Fault fault) { return set[static_cast<std::size_t>(fault)]; }

}  // namespace kesmzn::sim
