// The requests that bring an instance up and down and move it between ports.
#include <cstdio>
#include <cstring>

#include "config/init_file.h"
#include "host/driver_info.h"
#include "host/instance.h"
#include "host/requests.h"
#include "serial/port.h"
#include "unsolicited/listener.h"
#include "zubpro.h"

namespace kesmzn::host {

namespace {

// A port name from a host record, when it fits the stored field (11 characters and a terminator).
// A longer one is refused rather than cut, so the driver never opens a device the host did not name.
template <std::size_t N>
bool CopyPortName(const char (&source)[N], char (&target)[kPortNameCapacity]) {
    const std::size_t length = strnlen(source, N);
    if (length >= kPortNameCapacity) return false;
    std::memcpy(target, source, length);
    target[length] = '\0';
    return true;
}

int OpenConfiguredPort(const PortConfig& config, serial::PortHandle& port) {
    return serial::OpenComm(config.name, &config.params, config.controlFlags, &port);
}

// A new handle for the instance. One still held was opened on a device that the name no longer leads
// to (the new open would have found it held otherwise): release it, or each such reopen keeps one more
// descriptor and port slot for good.
void ReplacePort(InstanceData& instance, serial::PortHandle port) {
    if (serial::HasPort(instance.port)) serial::CloseComm(instance.port);
    instance.port = port;
}

}  // namespace

int ColdStart(RequestBlock* request) {
    err(64, "KesMZN-> ColdStart() version compiled on %s at time %s", __DATE__, __TIME__);
    InstanceData& instance = InstanceOf(*request);
    InitLock(instance.lock);
    // The host's block is not cleared by the host: start from known values, which the
    // initialization file may then change.
    instance.port = serial::kNoPort;
    instance.password = 0;
    instance.crcOn = 0;
    std::memset(instance.rxBuf, 0, sizeof instance.rxBuf);

    char clientName[32];
    std::snprintf(clientName, sizeof clientName, "KesMZN No_%.2d", request->station);
    if (ZubMkClient(clientName, 1, 0, &instance.clientId) != 0) return KES_FAILED;

    const auto* data = static_cast<const ColdStartData*>(request->data);
    if (data == nullptr) return KES_NOT_AVAILABLE;
    if (data->enabled == 0) return KES_OK;

    PortConfig config{};
    const bool nameFits = CopyPortName(data->name, config.name);
    config.params = {data->baud, data->dataBits, data->stopBits, data->parity};
    config.controlFlags = serial::PORT_RTS_ON;
    serial::PortHandle port = serial::kNoPort;
    if (!nameFits || OpenConfiguredPort(config, port) != serial::kPortOk) {
        err(32, "Kes%s: Fail to open %.*s", kNameRecord.shortName, static_cast<int>(sizeof data->name), data->name);
        return KES_NOT_AVAILABLE;
    }
    instance.port = port;
    serial::SetReadTimeout(port, data->timeout);
    instance.portConfig = config;
    instance.timeout = data->timeout;

    config::ReadInitFile(instance, request->station);

    if (!unsolicited::StartListener(instance)) {
        err(32, "KesMZN : Can Not open Unsolicetd thread !!!");
        return KES_NOT_AVAILABLE;
    }
    return KES_OK;
}

int FlushPort(RequestBlock* request) {
    InstanceData& instance = InstanceOf(*request);
    if (serial::HasPort(instance.port)) serial::FlushInput(instance.port);
    return KES_OK;
}

int ShutDown(RequestBlock* request) {
    ClosingFlag.store(1, std::memory_order_release);
    return ClosePort(request);
}

int ClosePort(RequestBlock* request) {
    InstanceData& instance = InstanceOf(*request);
    if (!serial::HasPort(instance.port)) return KES_OK;
    if (serial::CloseComm(instance.port) != serial::kPortOk) return KES_NOT_AVAILABLE;
    instance.port = serial::kNoPort;
    return KES_OK;
}

int ReopenPort(RequestBlock* request) {
    InstanceData& instance = InstanceOf(*request);
    serial::PortHandle port = serial::kNoPort;
    if (OpenConfiguredPort(instance.portConfig, port) != serial::kPortOk) return KES_NOT_AVAILABLE;
    ReplacePort(instance, port);
    return KES_OK;
}

int ChangePort(RequestBlock* request) {
    InstanceData& instance = InstanceOf(*request);
    const auto* data = static_cast<const ChangePortData*>(request->data);
    char name[kPortNameCapacity];
    if (data == nullptr || !CopyPortName(data->name, name)) return KES_NOT_AVAILABLE;

    if (std::strcmp(name, instance.portConfig.name) != 0 && serial::HasPort(instance.port)) ClosePort(request);
    std::memcpy(instance.portConfig.name, name, sizeof name);
    if (data->baud != 0) instance.portConfig.params = {data->baud, data->dataBits, data->stopBits, data->parity};

    serial::PortHandle port = serial::kNoPort;
    if (OpenConfiguredPort(instance.portConfig, port) != serial::kPortOk) return KES_NOT_AVAILABLE;
    ReplacePort(instance, port);
    serial::SetReadTimeout(port, instance.timeout);
    return KES_OK;
}

}  // namespace kesmzn::host
