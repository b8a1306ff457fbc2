#include "embedded_panel.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace kesmzn::tool {
namespace {

constexpr unsigned kZones = 16;
constexpr double kEventIntervalSeconds = 4.0;

// Copies for the signal handler, which may not touch std::string.
char gLinkPath[4096];
char gFolderPath[4096];

void RememberForSignals(const std::string& link, const std::string& folder) {
    if (link.size() >= sizeof gLinkPath || folder.size() >= sizeof gFolderPath) return;
    std::memcpy(gFolderPath, folder.c_str(), folder.size() + 1);
    std::memcpy(gLinkPath, link.c_str(), link.size() + 1);
}

}  // namespace

std::unique_ptr<EmbeddedPanel> StartEmbeddedPanel(bool events, std::string& error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kesmzn-sim-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) {
        error = "cannot make a folder for the simulated panel's port name: " + std::string(std::strerror(errno));
        return nullptr;
    }
    auto embedded = std::make_unique<EmbeddedPanel>();
    embedded->folder = folder;
    embedded->link = folder + "/" + kEmbeddedPortName;
    RememberForSignals(embedded->link, embedded->folder);

    sim::PanelConfig config;
    config.zones = kZones;
    for (unsigned mode = 1; mode <= sim::kModeCount; ++mode) config.modes[mode] = static_cast<std::uint8_t>(mode);
    config.eventIntervalSeconds = events ? kEventIntervalSeconds : 0.0;
    try {
        embedded->panel = sim::startOnPty(config, embedded->link);
    } catch (const std::exception& failure) {
        error = std::string("cannot start the simulated panel: ") + failure.what();
        rmdir(folder.c_str());
        return nullptr;
    }
    setenv("KESMZN_DEVICES", folder.c_str(), 1);
    return embedded;
}

void StopEmbeddedPanel(EmbeddedPanel& embedded) {
    if (embedded.panel) embedded.panel->stop();  // removes its link
    unlink(embedded.link.c_str());
    rmdir(embedded.folder.c_str());
    gLinkPath[0] = gFolderPath[0] = '\0';
}

void RemoveEmbeddedPanelFilesNow() {
    if (gLinkPath[0] != '\0') unlink(gLinkPath);
    if (gFolderPath[0] != '\0') rmdir(gFolderPath);
}

}  // namespace kesmzn::tool
