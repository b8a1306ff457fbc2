// A host around one instance: a folder of its own (the current folder, for the initialization file),
// a KESMZN_DEVICES folder whose links give port names to pseudo-terminals, the instance block, and
// requests through KesMain with the header's records.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kesmzn.h"
#include "zubpro.h"

namespace kesmzn::testing {

namespace fs = std::filesystem;

class HostFixture {
public:
    HostFixture() {
        previous_ = fs::current_path();
        folder_ = fs::temp_directory_path() / ("kesmzn-host-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
        fs::create_directories(folder_ / "devices");
        fs::current_path(folder_);
        setenv("KESMZN_DEVICES", (folder_ / "devices").c_str(), 1);
        ZubSetTickMs(0);  // listener passes only when a test posts a message
    }
    ~HostFixture() {
        for (auto* instance : blocks_) {
            if (instance->listening) {
                StopListener(*instance);
            } else if (std::uint8_t id = 0; ZubFindClient(ClientName(instance->station).c_str(), &id) == 0) {
                ZubRmClient(id);
            }
        }
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }
    HostFixture(const HostFixture&) = delete;
    HostFixture& operator=(const HostFixture&) = delete;

    // Gives a device a port name, as a link in the KESMZN_DEVICES folder.
    void Link(const std::string& portName, const std::string& device) {
        fs::remove(folder_ / "devices" / portName);
        fs::create_symlink(device, folder_ / "devices" / portName);
    }

    void WriteInitFile(int station, const std::string& content) {
        char name[32];
        std::snprintf(name, sizeof name, "KESMZN%02d.int", station);
        std::ofstream(folder_ / name) << content;
    }

    struct Instance {
        alignas(16) unsigned char block[720] = {};
        int station = 0;
        bool listening = false;  // ColdStart started its listener
    };

    // A new instance block, stopped and waited for when the fixture ends.
    Instance& NewInstance(int station) {
        auto* instance = new Instance;
        instance->station = station;
        blocks_.push_back(instance);
        return *instance;
    }

    int Request(Instance& instance, std::uint32_t code, void* data) {
        RequestBlock request{};
        request.instance = instance.block;
        request.code = code;
        request.station = instance.station;
        request.data = data;
        return KesMain(&request);
    }

    int ColdStart(Instance& instance, const char* portName, std::int32_t enabled = 1, std::int32_t timeoutUnits = 100) {
        ColdStartData data{};
        std::memcpy(data.name, portName, std::min(std::strlen(portName), sizeof data.name - 1));
        data.enabled = enabled;
        data.timeout = timeoutUnits;
        data.baud = 4800;
        data.dataBits = 8;
        const int result = Request(instance, KES_REQUEST_COLD_START, &data);
        instance.listening = instance.listening || (result == 0 && enabled != 0);
        return result;
    }

    static std::string ClientName(int station) {
        char name[32];
        std::snprintf(name, sizeof name, "KesMZN No_%.2d", station);
        return name;
    }

    // Stops the instance's listener through its host client and waits until it has removed the client.
    static bool StopListener(Instance& instance) {
        std::uint8_t id = 0;
        const std::string name = ClientName(instance.station);
        if (ZubFindClient(name.c_str(), &id) != 0) return true;
        ZubStopClient(id);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (ZubFindClient(name.c_str(), &id) == 0) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // The listener logs its end just after removing the client; let it finish with the block.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return true;
    }

    const fs::path& folder() const { return folder_; }

private:
    fs::path previous_;
    fs::path folder_;
    std::vector<Instance*> blocks_;  // kept to the process's end: a listener may hold one a moment longer
    static inline int counter_ = 0;
};

}  // namespace kesmzn::testing
