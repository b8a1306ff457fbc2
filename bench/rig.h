// One instance of the driver, started by ColdStart as a host starts it, on its own simulated panel.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kesmzn.h"
#include "kesmzn_sim/panel.h"

namespace kesmzn::bench {

struct RigConfig {
    unsigned baud = 4800;  // the simulated line's pace
    bool pace = true;
    unsigned zones = 16;
};

class Rig {
public:
    explicit Rig(const RigConfig& config);
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // KesMain with this instance's block and station.
    int Request(std::uint32_t code, void* data);

    // The listener's pass, run on the calling thread (the listener itself never ticks here).
    void ListenerPass();

    kesmzn::sim::Panel& panel() { return *panel_; }
    const RigConfig& config() const { return config_; }
    int station() const { return station_; }
    bool started() const { return started_; }
    // The threads ColdStart started (the listener): the ones that were not there before it.
    const std::vector<int>& driverThreads() const { return driverThreads_; }

private:
    RigConfig config_;
    int station_;
    std::string portName_;
    std::unique_ptr<kesmzn::sim::Panel> panel_;
    // Kept to the end of the process: the listener sleeps a second before it lets go of the block.
    unsigned char* block_;
    bool started_ = false;
    std::vector<int> driverThreads_;
};

// The ids of this process's threads.
std::vector<int> ThreadIds();

}  // namespace kesmzn::bench

namespace kesmzn::bench {

// Rigs kept for the whole run, so that every row on a line reuses its panel and instance.
Rig& SharedRig(const RigConfig& config);
// The first count rigs of a pool of its own for the line (instances polling at once).
std::vector<Rig*> PoolRigs(const RigConfig& config, int count);
// Stops every shared and pooled rig.
void ReleaseRigs();

}  // namespace kesmzn::bench
