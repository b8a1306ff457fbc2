#include "serial_devices.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

namespace kesmzn::tool {
namespace {

namespace fs = std::filesystem;

std::string ReadWord(const fs::path& file) {
    std::ifstream in(file);
    std::string word;
    in >> word;
    return word;
}

// Stable links (by-id, by-path) by the device they point to.
std::map<std::string, std::vector<std::string>> StableNames() {
    std::map<std::string, std::vector<std::string>> names;
    for (const char* folder : {"/dev/serial/by-id", "/dev/serial/by-path"}) {
        std::error_code failure;
        for (fs::directory_iterator entry(folder, failure), last; !failure && entry != last; entry.increment(failure)) {
            std::error_code resolveFailure;
            const fs::path target = fs::canonical(entry->path(), resolveFailure);
            if (!resolveFailure) names[target.string()].push_back(entry->path().string());
        }
    }
    return names;
}

// ttyS2 before ttyS10: the trailing number compares as a number.
bool NaturalLess(const std::string& a, const std::string& b) {
    const std::size_t aDigits = a.find_last_not_of("0123456789") + 1;
    const std::size_t bDigits = b.find_last_not_of("0123456789") + 1;
    const std::string aStem = a.substr(0, aDigits);
    const std::string bStem = b.substr(0, bDigits);
    if (aStem != bStem) return aStem < bStem;
    if (a.size() - aDigits != b.size() - bDigits) return a.size() - aDigits < b.size() - bDigits;
    return a < b;
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices() {
    std::vector<SerialDevice> devices;
    const auto stable = StableNames();
    std::error_code failure;
    for (fs::directory_iterator entry("/sys/class/tty", failure), last; !failure && entry != last; entry.increment(failure)) {
        const std::string name = entry->path().filename().string();
        std::error_code linkFailure;
        // Virtual consoles and pseudo-terminals have no device behind them.
        if (!fs::exists(entry->path() / "device", linkFailure)) continue;
        // On-board UARTs are listed whether or not a port was found; type 0 means none was.
        if (fs::exists(entry->path() / "type", linkFailure) && ReadWord(entry->path() / "type") == "0") continue;
        SerialDevice device;
        device.path = "/dev/" + name;
        const fs::path driver = fs::read_symlink(entry->path() / "device" / "driver", linkFailure);
        if (!linkFailure) device.driver = driver.filename().string();
        if (const auto found = stable.find(device.path); found != stable.end()) device.stableNames = found->second;
        if (name.rfind("ttyS", 0) == 0 && name.size() > 4 && name.find_first_not_of("0123456789", 4) == std::string::npos) {
            device.comName = "COM" + std::to_string(std::stoul(name.substr(4)) + 1);
        }
        devices.push_back(std::move(device));
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return NaturalLess(a.path, b.path); });
    return devices;
}

std::vector<MappedName> ListMappedNames(const std::string& folder) {
    std::vector<MappedName> names;
    std::error_code failure;
    for (fs::directory_iterator entry(folder, failure), last; !failure && entry != last; entry.increment(failure)) {
        MappedName mapped;
        mapped.name = entry->path().filename().string();
        std::error_code linkFailure;
        const fs::path target = fs::read_symlink(entry->path(), linkFailure);
        mapped.target = linkFailure ? entry->path().string() : target.string();
        struct stat status {};
        mapped.present = stat(entry->path().c_str(), &status) == 0;
        names.push_back(std::move(mapped));
    }
    std::sort(names.begin(), names.end(), [](const MappedName& a, const MappedName& b) { return a.name < b.name; });
    return names;
}

}  // namespace kesmzn::tool
