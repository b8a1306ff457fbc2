// Ctrl-C and friends. A one-shot command ends at once on a signal (after removing the simulated
// panel's files); poll, watch and sim collect the signal and end in order, with their summary.
#pragma once

#include <chrono>

namespace kesmzn::tool {

// SIGINT, SIGTERM and SIGHUP end the process at once with status 130.
void EndAtOnceOnSignals();

// SIGINT, SIGTERM and SIGHUP are blocked and collected. Call before any thread starts: threads inherit
// the blocked set, so only StopRequested ever takes the signals.
void CollectSignals();

// True once a collected signal has arrived; waits up to wait for one.
bool StopRequested(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

}  // namespace kesmzn::tool
