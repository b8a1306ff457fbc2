#include "port_double.h"

#include <algorithm>
#include <cstring>

namespace kesmzn::testing {
namespace {

PortDouble& Of(serial::PortRecord& port) {
    return *static_cast<PortDouble*>(port.context);
}

bool GetTimeouts(serial::PortRecord& port, serial::PortTimeouts* timeouts) {
    PortDouble& fake = Of(port);
    if (fake.getTimeoutsFails) return false;
    *timeouts = fake.timeouts;
    return true;
}

bool SetTimeouts(serial::PortRecord& port, const serial::PortTimeouts& timeouts) {
    PortDouble& fake = Of(port);
    if (fake.setTimeoutsFails) return false;
    fake.timeouts = timeouts;
    ++fake.timeoutWrites;
    fake.calls.push_back("timeouts " + std::to_string(timeouts.readTotalConstant));
    return true;
}

bool QueueStatus(serial::PortRecord& port, std::uint32_t* waiting) {
    PortDouble& fake = Of(port);
    fake.calls.push_back("status");
    if (fake.statusFails) return false;
    *waiting = static_cast<std::uint32_t>(fake.input.size() - fake.readAt);
    return true;
}

bool Read(serial::PortRecord& port, void* buffer, std::uint32_t count, std::uint32_t* received) {
    PortDouble& fake = Of(port);
    fake.readTimeouts.push_back(fake.timeouts.readTotalConstant);
    if (fake.readsBeforeFailure == 0) fake.readFails = true;
    if (fake.readsBeforeFailure > 0) --fake.readsBeforeFailure;
    if (fake.readFails) {
        fake.calls.push_back("read failed");
        return false;
    }
    const std::size_t taken = std::min({static_cast<std::size_t>(count), fake.maxPerRead, fake.input.size() - fake.readAt});
    std::memcpy(buffer, fake.input.data() + fake.readAt, taken);
    fake.readAt += taken;
    *received = static_cast<std::uint32_t>(taken);
    fake.calls.push_back("read " + std::to_string(taken));
    return true;
}

bool Write(serial::PortRecord& port, const void* data, std::uint32_t count, std::uint32_t* written) {
    PortDouble& fake = Of(port);
    if (fake.writeFails) {
        fake.calls.push_back("write failed");
        return false;
    }
    const std::uint32_t taken = std::min(count, fake.writeAccepts);
    fake.written.append(static_cast<const char*>(data), taken);
    *written = taken;
    fake.calls.push_back("write " + std::string(static_cast<const char*>(data), taken));
    return true;
}

bool SetRts(serial::PortRecord& port, bool asserted) {
    PortDouble& fake = Of(port);
    fake.calls.push_back(asserted ? "rts on" : "rts off");
    if (fake.rtsFails) return false;
    fake.rts = asserted;
    return true;
}

bool GetCts(serial::PortRecord& port, bool* asserted) {
    PortDouble& fake = Of(port);
    fake.calls.push_back("cts");
    *asserted = fake.ctsAfterPolls >= 0 && fake.ctsPolls >= fake.ctsAfterPolls;
    ++fake.ctsPolls;
    return true;
}

bool Close(serial::PortRecord& port) {
    PortDouble& fake = Of(port);
    fake.calls.push_back("close");
    return !fake.closeFails;
}

constexpr serial::PortBackend kDoubleBackend{GetTimeouts, SetTimeouts, QueueStatus, Read, Write, SetRts, GetCts, Close};

}  // namespace

serial::PortHandle PortDouble::Open() {
    serial::OpenCommOn(kDoubleBackend, this, &handle);
    return handle;
}

int PortDouble::Count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

}  // namespace kesmzn::testing
