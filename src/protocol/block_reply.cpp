#include "protocol/block_reply.h"

#include <cstddef>

#include "protocol/frame_codec.h"
#include "protocol/reply.h"
#include "zubpro.h"

namespace kesmzn::protocol {

namespace {

struct BlockLayout {
    std::size_t zones;        // 1 to 256
    std::size_t valuesStart;  // position of the first value pair
};

// The zone count and where the values start, for the two reply shapes. False when the reply does not
// carry them.
bool FindBlockLayout(std::string_view reply, BlockLayout& layout) {
    std::uint16_t count = 0;
    if (FieldEquals(reply, 3, "D5")) {
        std::uint16_t n = 0;
        if (!ReadHexPair(reply, 5, n)) return false;
        if (FieldEquals(reply, 7, "66")) {
            count = n;
            layout.valuesStart = 9;
        } else {
            // Zone groups before the block: "66" follows them, preceded by the count.
            const std::size_t p = (2u * n + 9u) % 256u;
            if (!FieldEquals(reply, p + 1, "66") || !ReadHexPair(reply, p - 1, count)) return false;
            layout.valuesStart = p + 3;
        }
    } else {
        if (!ReadHexPair(reply, 1, count)) return false;
        layout.valuesStart = 5;
    }
    layout.zones = static_cast<std::size_t>(count % 256) + 1;
    return true;
}

}  // namespace

int DecodeBlockReply(std::string_view reply, std::int32_t blockSize, std::int32_t crcOn, std::uint16_t* values,
                     std::uint8_t& rxLrc) {
    if (reply.empty()) return 1;
    if (reply.find("01E5") != std::string_view::npos) return 0;

    BlockLayout layout{};
    if (!FindBlockLayout(reply, layout)) return 1;

    const auto expectedZones = static_cast<std::size_t>(blockSize & 0xFF);
    if (layout.zones != expectedZones) {
        err(32, "KesMZN: GetBlock() No of Zones in MINTZ system is: %d", static_cast<int>(layout.zones));
        err(32, "KesMZN: GetBlock() Block size in Zubrix is: %d", blockSize);
        err(32, "KesMZN: GetBlock() Please set Block size in Zubrix to: %d", static_cast<int>(layout.zones));
        return 1;
    }

    // Every value pair and the LRC after them must be there and be hexadecimal before anything is
    // stored: a cut or garbled reply fails the attempt and leaves the slots as they were.
    std::uint16_t lrc = 0;
    if (!ReadHexPair(reply, layout.valuesStart + 2 * layout.zones, lrc)) return 1;
    for (std::size_t i = 0; i < layout.zones; ++i) {
        std::uint16_t unused = 0;
        if (!ReadHexPair(reply, layout.valuesStart + 2 * i, unused)) return 1;
    }
    rxLrc = static_cast<std::uint8_t>(lrc);
    if (crcOn == 1 && CalcLrc(reply.data() + layout.valuesStart, static_cast<int>(layout.zones)) != rxLrc) {
        err(32, "KesMZN: GetBlock() bad LRC received");
        return 1;
    }
    for (std::size_t i = 0; i < layout.zones; ++i) ReadHexPair(reply, layout.valuesStart + 2 * i, values[i]);
    return 0;
}

}  // namespace kesmzn::protocol
