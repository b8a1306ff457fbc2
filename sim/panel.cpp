#include "panel_impl.h"
#include "tty.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace kesmzn::sim {

namespace {

void closeFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

}  // namespace

std::string validate(const PanelConfig& config) {
    if (config.zones < 1 || config.zones > kMaxZones) return "zones must be 1 to 256";
    if (config.zoneStates.size() > config.zones) return "more initial zone states than zones";
    if (config.password && *config.password > 65535) return "password must be 0 to 65535";
    if (!(config.eventIntervalSeconds >= 0.0) || !std::isfinite(config.eventIntervalSeconds)) {
        return "event interval must be 0 or more seconds";
    }
    if (config.maxPendingEvents < 1 || config.maxPendingEvents > kMaxPendingEvents) {
        return "pending events must be 1 to 17";
    }
    if (config.baud < 50 || config.baud > 4'000'000) return "baud must be 50 to 4000000";
    for (const FaultRate& rate : config.faults) {
        if (!(rate.probability >= 0.0 && rate.probability <= 1.0)) return "fault probability must be 0 to 1";
    }
    if (config.eventAckWait.count() < 0) return "event acknowledgement wait must not be negative";
    return {};
}

Panel::Impl::~Impl() {
    closeFd(ioFd);
    closeFd(slaveFd);
    closeFd(wakeFd);
}

void Panel::Impl::wake() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(wakeFd, &one, sizeof one);
}

namespace {

std::unique_ptr<Panel::Impl> prepare(PanelConfig config) {
    if (const std::string problem = validate(config); !problem.empty()) throw std::invalid_argument(problem);
    auto impl = std::make_unique<Panel::Impl>();
    impl->config = std::move(config);
    if (impl->config.password) impl->password = passwordField(*impl->config.password);
    impl->state = initialState(impl->config);
    impl->dice.rates = impl->config.faults;
    impl->dice.rng.seed(impl->config.seed);
    impl->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (impl->wakeFd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    return impl;
}

std::unique_ptr<Panel> launch(std::unique_ptr<Panel::Impl> impl) {
    Panel::Impl& panel = *impl;
    auto handle = std::make_unique<Panel>(std::move(impl));
    panel.thread = std::thread([&panel] { runPanel(panel); });
    return handle;
}

}  // namespace

Panel::Panel(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Panel::~Panel() { stop(); }

void Panel::stop() {
    std::lock_guard stopLock(impl_->stopMutex);
    if (impl_->stopped) return;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->wake();
    if (impl_->thread.joinable()) impl_->thread.join();
    closeFd(impl_->ioFd);
    closeFd(impl_->slaveFd);
    if (!impl_->linkPath.empty()) removeLinkIfOurs(impl_->linkPath, impl_->devicePath);
    impl_->stopped = true;
}

const std::string& Panel::devicePath() const { return impl_->devicePath; }

std::uint8_t Panel::mode(unsigned number) const {
    if (number < 1 || number > kModeCount) throw std::out_of_range("mode number");
    std::lock_guard lock(impl_->mutex);
    return impl_->state.modes[number];
}

void Panel::setMode(unsigned number, std::uint8_t value) {
    if (number < 1 || number > kModeCount) throw std::out_of_range("mode number");
    std::lock_guard lock(impl_->mutex);
    impl_->state.modes[number] = value;
}

std::uint8_t Panel::zoneState(unsigned zone) const {
    std::lock_guard lock(impl_->mutex);
    if (zone < 1 || zone > impl_->state.zones.size()) throw std::out_of_range("zone number");
    return impl_->state.zones[zone - 1];
}

void Panel::setZoneState(unsigned zone, std::uint8_t state) {
    std::lock_guard lock(impl_->mutex);
    if (zone < 1 || zone > impl_->state.zones.size()) throw std::out_of_range("zone number");
    impl_->state.zones[zone - 1] = state;
}

std::vector<std::uint8_t> Panel::zoneStates() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state.zones;
}

Stats Panel::stats() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->stats;
}

bool Panel::waitFor(const std::function<bool(const Stats&)>& predicate,
                    std::chrono::milliseconds timeout) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return predicate(impl_->stats); });
}

std::vector<LogEntry> Panel::log() const {
    std::lock_guard lock(impl_->mutex);
    return {impl_->log.begin(), impl_->log.end()};
}

void Panel::clearLog() {
    std::lock_guard lock(impl_->mutex);
    impl_->log.clear();
}

void Panel::sendRaw(std::string_view bytes) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->rawOut.append(bytes);
    }
    impl_->wake();
}

void Panel::setFault(Fault fault, FaultRate rate) {
    if (!(rate.probability >= 0.0 && rate.probability <= 1.0)) {
        throw std::invalid_argument("fault probability must be 0 to 1");
    }
    std::lock_guard lock(impl_->mutex);
    impl_->dice.rates[static_cast<std::size_t>(fault)] = rate;
}

FaultRate Panel::fault(Fault fault) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->dice.rates[static_cast<std::size_t>(fault)];
}

void Panel::setEventGeneration(bool on) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->generateEvents = on;
    }
    impl_->wake();
}

std::unique_ptr<Panel> startOnFd(int fd, PanelConfig config) {
    if (fd < 0) throw std::invalid_argument("no file descriptor");
    auto impl = prepare(std::move(config));
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    impl->ioFd = fd;
    impl->devicePath = "fd:" + std::to_string(fd);
    return launch(std::move(impl));
}

std::unique_ptr<Panel> startOnDevice(const std::string& path, PanelConfig config) {
    auto impl = prepare(std::move(config));
    impl->ioFd = openDevice(path, impl->config.baud);
    if (impl->ioFd < 0) throw std::system_error(errno, std::generic_category(), "open " + path);
    if (isatty(impl->ioFd) && !isStandardBaud(impl->config.baud)) {
        closeFd(impl->ioFd);
        throw std::invalid_argument("baud " + std::to_string(impl->config.baud) + " is not a standard speed");
    }
    impl->devicePath = path;
    impl->reopenDevice = true;
    return launch(std::move(impl));
}

std::unique_ptr<Panel> startOnPty(PanelConfig config, const std::string& linkPath) {
    auto impl = prepare(std::move(config));
    const PtyPair pair = openPty(impl->config.baud);
    impl->ioFd = pair.master;
    impl->slaveFd = pair.slave;
    impl->devicePath = pair.slavePath;
    if (!linkPath.empty()) {
        try {
            placeLink(linkPath, pair.slavePath);
        } catch (...) {
            closeFd(impl->ioFd);
            closeFd(impl->slaveFd);
            throw;
        }
        impl->linkPath = linkPath;
    }
    return launch(std::move(impl));
}

}  // namespace kesmzn::sim
