#include "protocol/frame_codec.h"

#include <cstdio>

namespace kesmzn::protocol {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Appends a field to a frame under construction; every write is checked against the frame's room.
struct FrameWriter {
    FrameText& frame;
    std::size_t at = 0;

    void Put(char c) {
        if (at < kFrameCapacity - 1) frame[at++] = c;
    }
    void Put(const char* text) {
        while (*text != '\0') Put(*text++);
    }
    // printf's zero-padded decimal of value, cut to its first width characters: a value too wide for
    // its field is written shortened, and the LRC then covers the shortened form.
    void PutDecimal(int value, int width) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%.*d", width, value);
        for (int i = 0; i < width && digits[i] != '\0'; ++i) Put(digits[i]);
    }
    void PutHexByte(std::uint8_t value) {
        Put(kHexDigits[value >> 4]);
        Put(kHexDigits[value & 0x0F]);
    }
    // LRC over the data characters from position 3 (after ":" and the count), then CR LF.
    std::size_t Finish() {
        const int pairs = static_cast<int>((at - 3) / 2);
        PutHexByte(CalcLrc(frame + 3, pairs));
        Put('\r');
        Put('\n');
        frame[at] = '\0';
        return at;
    }
};

}  // namespace

char ToUpperChar(char c) {
    const auto value = static_cast<std::int8_t>(c);
    if (value >= 'a') return static_cast<char>(value - 32);
    return c;
}

std::uint16_t HexToNum(const char* text, int n) {
    const auto count = static_cast<std::uint8_t>(n);
    std::uint16_t value = 0;
    for (std::uint8_t i = 0; i < count; ++i) {
        const char c = ToUpperChar(text[i]);
        auto digit = static_cast<std::uint8_t>(c - '0');
        if (digit > 9) digit = static_cast<std::uint8_t>(digit - 7);
        value = static_cast<std::uint16_t>(value * 16 + digit);
    }
    return value;
}

std::uint8_t CalcLrc(const char* text, int n) {
    std::uint8_t sum = 0;
    for (int i = 0; i < n; ++i) sum = static_cast<std::uint8_t>(sum + (HexToNum(text + 2 * i, 2) & 0xFF));
    return static_cast<std::uint8_t>(256 - sum);
}

std::size_t BuildModeQuery(FrameText& frame, std::uint16_t password, int mode) {
    FrameWriter w{frame};
    w.Put(":0508");
    w.PutDecimal(password, 4);
    w.Put("68");
    w.PutDecimal(mode, 2);
    return w.Finish();
}

std::size_t BuildPointQuery(FrameText& frame, std::uint16_t password, int zone) {
    FrameWriter w{frame};
    w.Put(":0609");
    w.PutDecimal(password, 4);
    w.Put("66");
    w.PutDecimal(zone, 3);
    w.Put('0');
    return w.Finish();
}

std::size_t BuildBlockQuery(FrameText& frame, std::uint16_t password) {
    FrameWriter w{frame};
    w.Put(":0406");
    w.PutDecimal(password, 4);
    w.Put("66");
    return w.Finish();
}

std::size_t BuildModeSet(FrameText& frame, std::uint16_t password, int mode, int value) {
    FrameWriter w{frame};
    w.Put(":0507");
    w.PutDecimal(password, 4);
    w.PutDecimal(value, 1);
    w.PutDecimal(mode, 2);
    w.Put('0');
    return w.Finish();
}

std::size_t BuildZoneSet(FrameText& frame, std::uint16_t password, int zone, int state) {
    FrameWriter w{frame};
    w.Put(":0609");
    w.PutDecimal(password, 4);
    w.PutDecimal(70 + state, 2);
    w.PutDecimal(zone, 3);
    w.Put('0');
    return w.Finish();
}

std::size_t BuildAck(FrameText& frame, const char* code) {
    FrameWriter w{frame};
    w.Put(":01");
    w.Put(code[0]);
    w.Put(code[1]);
    return w.Finish();
}

}  // namespace kesmzn::protocol
