// The driver as a host sees it: build/libkesmzn.so loaded with dlopen() from this program's own folder,
// reached only through KesMain and the records of kesmzn.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kesmzn.h"

namespace kesmzn::tool {

using KesMainFunction = int (*)(RequestBlock*);

struct Driver {
    std::string path;
    KesMainFunction kesMain = nullptr;
    DriverInfoData info{};  // request 14, asked once at load
};

// Loads the driver next to this executable and asks for its information. On failure error says why.
// The library stays loaded until the process ends: its listener threads may outlive every request.
std::optional<Driver> LoadDriver(std::string& error);

// Address kinds that request 3 returns.
inline constexpr int kKindModeOfTag = 0;  // S alone: the host keeps the mode number
inline constexpr int kKindMode = 1;       // S1..S19
inline constexpr int kKindZone = 2;       // 000..999

struct AddressCheck {
    bool valid = false;
    int kind = -1;  // -1 when the driver set none
    int number = -1;
};

// Request 3, or request 4 when blockCount is given.
AddressCheck CheckAddress(const Driver& driver, const std::string& text, std::optional<int> blockCount);

}  // namespace kesmzn::tool
