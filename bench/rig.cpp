#include "rig.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#include "host/instance.h"
#include "host_env.h"
#include "unsolicited/listener.h"
#include "zubpro.h"

namespace kesmzn::bench {

namespace {
int nextStation = 1;
}  // namespace

Rig::Rig(const RigConfig& config) : config_(config), station_(nextStation++) {
    SetUpHost();
    portName_ = "B" + std::to_string(station_);
    kesmzn::sim::PanelConfig panel;
    panel.zones = config.zones;
    panel.baud = config.baud;
    panel.pace = config.pace;
    for (unsigned mode = 1; mode <= kesmzn::sim::kModeCount; ++mode) panel.modes[mode] = static_cast<std::uint8_t>(mode % 10);
    panel.logCapacity = 64;
    panel_ = kesmzn::sim::startOnPty(panel, DevicesFolder() + "/" + portName_);

    block_ = new (std::align_val_t{16}) unsigned char[host::kInstanceSize]();
    ColdStartData data{};
    std::memcpy(data.name, portName_.c_str(), portName_.size());
    data.enabled = 1;
    data.timeout = 100;
    // The host record's speed is 16 bits wide, so 115200 cannot be asked for; a pseudo-terminal moves
    // bytes at the simulator's pace whatever speed is set on it.
    data.baud = 4800;
    data.dataBits = 8;
    const std::vector<int> before = ThreadIds();
    started_ = Request(KES_REQUEST_COLD_START, &data) == KES_OK;
    for (const int tid : ThreadIds()) {
        if (std::find(before.begin(), before.end(), tid) == before.end()) driverThreads_.push_back(tid);
    }
}

Rig::~Rig() {
    if (started_) Request(KES_REQUEST_CLOSE_PORT, nullptr);
    char name[32];
    std::snprintf(name, sizeof name, "KesMZN No_%.2d", station_);
    if (std::uint8_t id = 0; ZubFindClient(name, &id) == 0) ZubStopClient(id);
    panel_->stop();
}

std::vector<int> ThreadIds() {
    std::vector<int> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ids.push_back(std::stoi(entry.path().filename().string()));
    }
    return ids;
}

int Rig::Request(std::uint32_t code, void* data) {
    RequestBlock request{};
    request.instance = block_;
    request.code = code;
    request.station = station_;
    request.data = data;
    return KesMain(&request);
}

void Rig::ListenerPass() {
    kesmzn::unsolicited::CheckUnsolicetedMessages(*reinterpret_cast<host::InstanceData*>(block_));
}

}  // namespace kesmzn::bench

namespace kesmzn::bench {

namespace {

struct PoolKey {
    unsigned baud;
    bool pace;
    unsigned zones;
    bool pooled;
    bool operator==(const PoolKey&) const = default;
};

struct Pool {
    PoolKey key;
    std::vector<std::unique_ptr<Rig>> rigs;
};

std::vector<Pool> pools;

Pool& PoolFor(const PoolKey& key) {
    for (Pool& pool : pools) {
        if (pool.key == key) return pool;
    }
    pools.push_back(Pool{key, {}});
    return pools.back();
}

}  // namespace

Rig& SharedRig(const RigConfig& config) {
    Pool& pool = PoolFor({config.baud, config.pace, config.zones, false});
    if (pool.rigs.empty()) pool.rigs.push_back(std::make_unique<Rig>(config));
    return *pool.rigs.front();
}

std::vector<Rig*> PoolRigs(const RigConfig& config, int count) {
    Pool& pool = PoolFor({config.baud, config.pace, config.zones, true});
    while (static_cast<int>(pool.rigs.size()) < count) pool.rigs.push_back(std::make_unique<Rig>(config));
    std::vector<Rig*> rigs;
    for (int i = 0; i < count; ++i) rigs.push_back(pool.rigs[static_cast<std::size_t>(i)].get());
    return rigs;
}

void ReleaseRigs() { pools.clear(); }

}  // namespace kesmzn::bench
