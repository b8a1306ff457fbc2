// An instance record as ColdStart leaves it, inside a host-sized block, with its port opened on a
// device path: for tests of the exchanges below the request level.
#pragma once

#include <cstring>
#include <string>

#include "host/instance.h"
#include "serial/port.h"

namespace kesmzn::testing {

struct OpenInstance {
    alignas(16) unsigned char block[host::kInstanceSize] = {};
    host::InstanceData& instance = *reinterpret_cast<host::InstanceData*>(block);
    int openResult = -1;

    explicit OpenInstance(const std::string& device, std::uint16_t password = 1234, int timeoutUnits = 100) {
        host::InitLock(instance.lock);
        const serial::PortParams params{4800, 8, 0, 0};
        openResult = serial::OpenComm(device.c_str(), &params, serial::PORT_RTS_ON, &instance.port);
        instance.timeout = timeoutUnits;
        serial::SetReadTimeout(instance.port, timeoutUnits);
        instance.password = password;
    }
    ~OpenInstance() {
        if (serial::HasPort(instance.port)) serial::CloseComm(instance.port);
    }
    OpenInstance(const OpenInstance&) = delete;
    OpenInstance& operator=(const OpenInstance&) = delete;

    RequestBlock Request(std::uint32_t code, void* data) {
        RequestBlock request{};
        request.instance = block;
        request.code = code;
        request.data = data;
        return request;
    }
};

}  // namespace kesmzn::testing
