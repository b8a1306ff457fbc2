// The initialization file: any bytes as the file KESMZN07.int, read by ReadInitFile, with the
// password and CRC switch compared against a plain model of the file's rules; and the same bytes as
// one line handed straight to ApplyInitLine.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/init_file.h"
#include "host/instance.h"
#include "quiet_log.h"

namespace {

constexpr std::uint16_t kUnset = 0xBEEF;

struct Expected {
    std::uint16_t password = kUnset;
    std::int32_t crcOn = -1;
};

void Apply(const std::string& line, Expected& expected) {
    if (const auto keyword = line.find("PASSWORD"); keyword != std::string::npos) {
        std::size_t at = keyword + 9;
        std::uint32_t value = 0;
        std::size_t digits = 0;
        for (; at < line.size() && line[at] >= '0' && line[at] <= '9' && value <= 0xFFFF; ++at, ++digits)
            value = value * 10 + static_cast<std::uint32_t>(line[at] - '0');
        if (digits > 0 && value <= 0xFFFF) expected.password = static_cast<std::uint16_t>(value);
    } else if (line.find("CRC") != std::string::npos) {
        expected.crcOn = line.find("NO") != std::string::npos ? 0 : 1;
    }
}

// The file's rules: LF ends a line; blanks, control characters and bytes from 0x80 are dropped; case
// is raised; a line keeps 135 characters; a last line without LF counts from 10 characters.
Expected Model(const std::uint8_t* data, std::size_t size) {
    Expected expected;
    std::string line;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = data[i];
        if (byte == '\n') {
            Apply(line, expected);
            line.clear();
        } else if (byte > 32 && byte < 0x80 && line.size() < kesmzn::config::kInitLineCapacity - 1) {
            line += static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 32 : byte);
        }
    }
    if (line.size() >= 10) Apply(line, expected);
    return expected;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kesmzn::fuzz::LogToNowhere();
    // A folder of its own: the file is looked for in the current one.
    char folder[] = "/tmp/kesmzn-fuzz-init-XXXXXX";
    if (mkdtemp(folder) == nullptr || chdir(folder) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    alignas(16) static unsigned char block[kesmzn::host::kInstanceSize];
    auto& instance = *reinterpret_cast<kesmzn::host::InstanceData*>(block);

    const int fd = open("KESMZN07.int", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    for (std::size_t at = 0; at < size;) {
        const ssize_t n = write(fd, data + at, size - at);
        if (n <= 0) std::abort();
        at += static_cast<std::size_t>(n);
    }
    close(fd);

    instance.password = kUnset;
    instance.crcOn = -1;
    if (kesmzn::config::ReadInitFile(instance, 7) != 1) std::abort();
    const Expected expected = Model(data, size);
    if (instance.password != expected.password || instance.crcOn != expected.crcOn) std::abort();

    // Straight to the line handler, as any text of a line's length.
    const std::string line(reinterpret_cast<const char*>(data), std::min(size, kesmzn::config::kInitLineCapacity - 1));
    kesmzn::config::ApplyInitLine(instance, line.c_str());
    if (instance.crcOn < -1 || instance.crcOn > 1) std::abort();
    return 0;
}
