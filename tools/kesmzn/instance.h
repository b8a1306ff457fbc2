// One instance of the driver, as a host keeps it: the block of the size the driver announced, the
// station number, and the requests that start it, move data and stop it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver.h"

namespace kesmzn::tool {

// Speed and framing in the codes of the host's records, and the normal read time-out.
struct LineSettings {
    std::uint16_t baud = 4800;
    std::uint16_t dataBits = 8;
    std::uint16_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
    std::uint16_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::int32_t timeoutUnits = 100;  // 10 ms units
};

// "4800 baud 8N1"
std::string DescribeSettings(const LineSettings& settings);

// A checked address, as the host keeps it for a tag.
struct Tag {
    std::string address;  // as the user gave it
    int kind = kKindZone;
    int number = 0;        // the mode for kind 0 comes from --mode
    int blockSize = 0;     // 0: a single value
};

// "S7", "S (mode 3)", "007", "001..016"
std::string TagLabel(const Tag& tag);

struct Instance {
    const Driver* driver = nullptr;
    void* block = nullptr;  // never freed: the listener thread may still hold it as the process ends
    int station = 1;
};

Instance NewInstance(const Driver& driver, int station);

// Request 1. 0 started, 1 host client not created, 2 port not opened (the driver's codes).
int ColdStart(Instance& instance, const std::string& portName, const LineSettings& settings);
int ClosePort(Instance& instance);   // request 12
int ReopenPort(Instance& instance);  // request 13

// Request 5; the value when it succeeded.
std::optional<int> ReadSingle(Instance& instance, const Tag& tag);

// Request 6: one value per zone; a zone the reply left untouched stays empty. Nothing when it failed.
std::optional<std::vector<std::optional<int>>> ReadBlock(Instance& instance, const Tag& tag);

// Request 7. True when written.
bool WriteSingle(Instance& instance, const Tag& tag, int value);

// Tells the instance's listener to end and shuts the driver down (request 11). The listener finishes
// on its own; the process may end without waiting for it.
void EndInstance(Instance& instance);

// How often the host services wake the listener (0: never; one-shot commands need no listener).
void SetListenerTick(unsigned ms);

// The tick the host services use by default: ZUBPRO_TICK_MS, else 500 ms.
unsigned DefaultListenerTick();

}  // namespace kesmzn::tool
