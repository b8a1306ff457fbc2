// A simulated panel in the test's own process, on a pseudo-terminal that a link gives a port name in
// a KESMZN_DEVICES folder of the test's own: the program reaches it as a host reaches a real panel.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "kesmzn_sim/panel.h"
#include "tool_process.h"

namespace kesmzn::tool::testing {

namespace fs = std::filesystem;

// A folder of the test's own, removed at the end: the current folder of the program (for KESMZNnn.int)
// and, below it, the KESMZN_DEVICES folder.
class TestFolder {
public:
    TestFolder() {
        static std::atomic<int> counter{0};
        path_ = fs::temp_directory_path() / ("kesmzn-tool-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        fs::create_directories(path_ / "devices");
    }
    ~TestFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const fs::path& path() const { return path_; }
    fs::path devices() const { return path_ / "devices"; }
    // The program's environment: this KESMZN_DEVICES folder and nothing of the user's.
    Environment Env() const { return {{"KESMZN_DEVICES", devices().string()}}; }

private:
    fs::path path_;
};

inline sim::PanelConfig PanelConfig(unsigned zones = 12) {
    sim::PanelConfig config;
    config.zones = zones;
    for (unsigned mode = 1; mode <= sim::kModeCount; ++mode) config.modes[mode] = static_cast<std::uint8_t>(10 + mode);
    return config;
}

// A panel whose device is linked as devices/name.
inline std::unique_ptr<sim::Panel> StartPanel(const TestFolder& folder, sim::PanelConfig config = PanelConfig(),
                                              const std::string& name = "PANEL") {
    return sim::startOnPty(std::move(config), (folder.devices() / name).string());
}

}  // namespace kesmzn::tool::testing
