#include "host_env.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "zubpro.h"

namespace kesmzn::bench {

namespace fs = std::filesystem;

namespace {
fs::path folder;
std::string devices;
fs::path previous;
}  // namespace

void SetUpHost() {
    if (!folder.empty()) return;
    previous = fs::current_path();
    folder = fs::temp_directory_path() / ("kesmzn-bench-" + std::to_string(getpid()));
    fs::create_directories(folder / "devices");
    devices = (folder / "devices").string();
    fs::current_path(folder);
    setenv("KESMZN_DEVICES", devices.c_str(), 1);
    // The default levels (events and the version line) as a host has them, into a file: the driver's
    // cost of logging is measured, the report stays readable.
    ZubSetLogFile((folder / "driver.log").c_str());
    ZubSetTickMs(0);
}

const std::string& DevicesFolder() { return devices; }

void TearDownHost() {
    if (folder.empty()) return;
    std::error_code ignored;
    fs::current_path(previous, ignored);
    fs::remove_all(folder, ignored);
    folder.clear();
}

}  // namespace kesmzn::bench
