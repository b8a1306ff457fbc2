#include "faults.h"

namespace kesmzn::sim {

FaultSet rollFaults(FaultDice& dice) {
    FaultSet set{};
    for (std::size_t i = 0; i < kFaultKinds; ++i) {
        FaultRate& rate = dice.rates[i];
        if (rate.nextCommands > 0) {
            --rate.nextCommands;
            set[i] = true;
        } else if (rate.probability >= 1.0) {
            set[i] = true;
        } else if (rate.probability > 0.0) {
            set[i] = std::uniform_real_distribution<double>(0.0, 1.0)(dice.rng) < rate.probability;
        }
    }
    return set;
}

}  // namespace kesmzn::sim
