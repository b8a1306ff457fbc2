#include "config/init_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "zubpro.h"

namespace kesmzn::config {

namespace {

// A last line without LF counts only when it has at least this many characters.
constexpr std::size_t kShortestUnterminatedLine = 10;

// The password's digits start one separator character after the keyword.
constexpr std::size_t kPasswordValueOffset = 9;

// Reads the file in blocks and hands out its bytes one at a time, without the C library's buffered
// streams (which would allocate from the heap).
struct ByteReader {
    int fd = -1;
    unsigned char block[256] = {};
    std::size_t length = 0;
    std::size_t at = 0;

    bool Next(unsigned char& byte) {
        if (at == length) {
            ssize_t got;
            do {
                got = read(fd, block, sizeof block);
            } while (got < 0 && errno == EINTR);
            if (got <= 0) return false;
            length = static_cast<std::size_t>(got);
            at = 0;
        }
        byte = block[at++];
        return true;
    }
};

char ToUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The decimal digits at text; false when there are none or the value does not fit 16 bits. Digits
// after the number's end are not looked at, as a C string-to-number conversion would stop there.
bool ParsePassword(const char* text, std::uint16_t& password) {
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (; text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        value = value * 10 + static_cast<std::uint32_t>(text[digits] - '0');
        if (value > 0xFFFF) return false;
    }
    if (digits == 0) return false;
    password = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

void ApplyInitLine(host::InstanceData& instance, const char* line) {
    if (const char* keyword = std::strstr(line, "PASSWORD"); keyword != nullptr) {
        // The keyword and one separator must both be there before the number is looked for, or the
        // number's place would lie beyond the line's end.
        std::uint16_t password = 0;
        if (std::strlen(keyword) < kPasswordValueOffset || !ParsePassword(keyword + kPasswordValueOffset, password)) {
            err(32, "KesMZN : ReadInitFile()-> Bad password line - %s", line);
            return;
        }
        instance.password = password;
        err(32, "KesMZN : PassWord is %d", static_cast<int>(password));
        return;
    }
    if (std::strstr(line, "CRC") != nullptr) {
        instance.crcOn = std::strstr(line, "NO") != nullptr ? 0 : 1;
        return;
    }
    err(32, "KesMZN : ReadInitFile()-> Unknown line - %s", line);
}

int ReadInitFile(host::InstanceData& instance, int station) {
    char fileName[32];
    std::snprintf(fileName, sizeof fileName, "KESMZN%02d.int", station);
    const int fd = open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err(32, "KesMZN : File %s not found !", fileName);
        return 0;
    }

    ByteReader reader;
    reader.fd = fd;
    char line[kInitLineCapacity];
    std::size_t length = 0;
    unsigned char byte;
    bool atEnd = false;
    while (!atEnd) {
        atEnd = !reader.Next(byte);
        if (!atEnd && byte != '\n') {
            // Blanks, control characters and bytes from 0x80 up are dropped; the rest of an
            // over-long line is cut.
            if (byte > 32 && byte < 0x80 && length < kInitLineCapacity - 1) line[length++] = ToUpperAscii(static_cast<char>(byte));
            continue;
        }
        if (atEnd && length < kShortestUnterminatedLine) break;
        line[length] = '\0';
        ApplyInitLine(instance, line);
        length = 0;
    }
    close(fd);
    return 1;
}

}  // namespace kesmzn::config
