#include "instance.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zubpro.h"

namespace kesmzn::tool {
namespace {

constexpr std::size_t kBlockAlignment = 16;
// Block reads fill as many slots as the panel has zones once the size matches; the low 8 bits of a
// larger block size can match a smaller panel, so the area always has room for the largest panel.
constexpr std::size_t kValueSlots = 257;
// Values are 0 to 255: this one marks a slot the driver did not write.
constexpr std::uint16_t kUntouched = 0xFFFF;

int Request(Instance& instance, std::uint32_t code, void* data) {
    RequestBlock request{};
    request.instance = instance.block;
    request.code = code;
    request.station = instance.station;
    request.data = data;
    return instance.driver->kesMain(&request);
}

std::string ClientName(int station) {
    char name[32];
    std::snprintf(name, sizeof name, "KesMZN No_%.2d", station);
    return name;
}

TagIoData TagRecord(const Tag& tag, std::uint16_t* values) {
    TagIoData data{};
    data.name = tag.address.c_str();
    data.kind = tag.kind;
    data.number = static_cast<std::uint16_t>(tag.number);
    data.blockSize = tag.blockSize;
    data.values = values;
    return data;
}

// Every block stays reachable to the end: a listener may use its block while the process ends, and
// the block must neither be freed nor look lost.
void KeepForever(void* block) {
    static auto* blocks = new std::vector<void*>;
    blocks->push_back(block);
}

}  // namespace

std::string DescribeSettings(const LineSettings& settings) {
    static const char kParity[] = {'N', 'O', 'E', 'M', 'S'};
    static const char* const kStop[] = {"1", "1.5", "2"};
    const char parity = settings.parity < sizeof kParity ? kParity[settings.parity] : '?';
    const char* stop = settings.stopBits < 3 ? kStop[settings.stopBits] : "?";
    return std::to_string(settings.baud) + " baud " + std::to_string(settings.dataBits) + parity + stop;
}

std::string TagLabel(const Tag& tag) {
    char text[48];
    if (tag.blockSize > 0) {
        std::snprintf(text, sizeof text, "001..%03d", tag.blockSize);
    } else if (tag.kind == kKindZone) {
        std::snprintf(text, sizeof text, "%03d", tag.number);
    } else if (tag.kind == kKindMode) {
        std::snprintf(text, sizeof text, "S%d", tag.number);
    } else {
        std::snprintf(text, sizeof text, "S (mode %d)", tag.number);
    }
    return text;
}

Instance NewInstance(const Driver& driver, int station) {
    Instance instance;
    instance.driver = &driver;
    instance.station = station;
    const std::size_t size = (driver.info.instanceSize + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment;
    instance.block = std::aligned_alloc(kBlockAlignment, size);
    if (instance.block != nullptr) {
        std::memset(instance.block, 0, size);
        KeepForever(instance.block);
    }
    return instance;
}

int ColdStart(Instance& instance, const std::string& portName, const LineSettings& settings) {
    ColdStartData data{};
    std::memcpy(data.name, portName.data(), std::min(portName.size(), sizeof data.name - 1));
    data.enabled = 1;
    data.timeout = settings.timeoutUnits;
    data.baud = settings.baud;
    data.dataBits = settings.dataBits;
    data.stopBits = settings.stopBits;
    data.parity = settings.parity;
    return Request(instance, KES_REQUEST_COLD_START, &data);
}

int ClosePort(Instance& instance) { return Request(instance, KES_REQUEST_CLOSE_PORT, nullptr); }

int ReopenPort(Instance& instance) { return Request(instance, KES_REQUEST_REOPEN_PORT, nullptr); }

std::optional<int> ReadSingle(Instance& instance, const Tag& tag) {
    std::uint16_t values[2] = {kUntouched, kUntouched};
    TagIoData data = TagRecord(tag, values);
    if (Request(instance, KES_REQUEST_SINGLE_READ, &data) != KES_OK || values[1] == kUntouched) return std::nullopt;
    return values[1];
}

std::optional<std::vector<std::optional<int>>> ReadBlock(Instance& instance, const Tag& tag) {
    std::vector<std::uint16_t> slots(kValueSlots, kUntouched);
    TagIoData data = TagRecord(tag, slots.data());
    if (Request(instance, KES_REQUEST_BLOCK_READ, &data) != KES_OK) return std::nullopt;
    std::vector<std::optional<int>> values;
    const auto count = std::min(static_cast<std::size_t>(tag.blockSize), kValueSlots);
    for (std::size_t i = 0; i < count; ++i) {
        if (slots[i] != kUntouched) values.emplace_back(slots[i]);
        else values.emplace_back();
    }
    return values;
}

bool WriteSingle(Instance& instance, const Tag& tag, int value) {
    std::uint16_t values[2] = {0, static_cast<std::uint16_t>(value)};
    TagIoData data = TagRecord(tag, values);
    return Request(instance, KES_REQUEST_SINGLE_WRITE, &data) == KES_OK;
}

void EndInstance(Instance& instance) {
    if (instance.block == nullptr) return;
    std::uint8_t id = 0;
    if (ZubFindClient(ClientName(instance.station).c_str(), &id) == 0) ZubStopClient(id);
    Request(instance, KES_REQUEST_SHUT_DOWN, nullptr);
}

void SetListenerTick(unsigned ms) { ZubSetTickMs(ms); }

unsigned DefaultListenerTick() {
    constexpr unsigned kDefaultTickMs = 500;
    const char* text = std::getenv("ZUBPRO_TICK_MS");
    if (text == nullptr || *text == '\0') return kDefaultTickMs;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 0);
    return (*end == '\0' && value <= 0xFFFFFFFFul) ? static_cast<unsigned>(value) : kDefaultTickMs;
}

}  // namespace kesmzn::tool
