// The logger: err() and its controls. One line per call, written with one write() under a lock so that
// lines from several threads never interleave.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "environment.h"
#include "output.h"
#include "zubpro.h"

namespace zubpro {
namespace {

constexpr std::uint32_t kDefaultMask = ZUB_LEVEL_EVENT | ZUB_LEVEL_VERSION;

struct LogState {
    std::mutex lock;
    int fd = kStandardError;  // guarded by lock
    bool ownFile = false;     // fd is a file we opened (fd 2 may be one too if the host closed stderr)
    std::atomic<std::uint32_t> mask{kDefaultMask};
};

// Never destroyed: a driver's threads may still log while the process runs its exit handlers.
LogState& Log() {
    static LogState& state = *[] {
        auto* fresh = new LogState;
        if (const auto mask = EnvironmentNumber("ZUBPRO_LOG_MASK")) fresh->mask = *mask;
        const char* path = std::getenv("ZUBPRO_LOG");
        if (path != nullptr && *path != '\0') {
            const int fd = OpenLogFile(path);
            if (fd >= 0) {
                fresh->fd = fd;
                fresh->ownFile = true;
            } else {
                Note((std::string("cannot open ZUBPRO_LOG=") + path + ": " + std::strerror(errno) +
                      "; logging to standard error")
                         .c_str());
            }
        }
        return fresh;
    }();
    return state;
}

void WriteLine(std::string_view line) {
    LogState& log = Log();
    const std::lock_guard guard(log.lock);
    WriteWhole(log.fd, line.data(), line.size());
}

// "HH:MM:SS.mmm [level] " in local time.
std::size_t FormatPrefix(char* out, std::size_t size, int level) {
    const LocalTime now = NowLocal();
    const int length = std::snprintf(out, size, "%02d:%02d:%02d.%03d [%d] ", now.hour, now.minute, now.second,
                                     now.millisecond, level);
    return length < 0 ? 0 : std::min(static_cast<std::size_t>(length), size - 1);
}

// Control characters as C escapes, so that a received frame with its CR LF stays on one line.
void AppendEscaped(std::string& line, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\r') {
            line += "\\r";
        } else if (byte == '\n') {
            line += "\\n";
        } else if (byte == '\t') {
            line += "\\t";
        } else if (byte < 0x20 || byte >= 0x7F) {
            line += "\\x";
            line += kHex[byte >> 4];
            line += kHex[byte & 0x0F];
        } else {
            line += c;
        }
    }
}

// The whole formatted text, however long. False when it cannot be formatted or stored.
__attribute__((format(printf, 2, 0))) bool FormatText(std::string& text, const char* format, va_list args) noexcept {
    try {
        char first[512];
        va_list copy;
        va_copy(copy, args);
        const int needed = std::vsnprintf(first, sizeof first, format, copy);
        va_end(copy);
        if (needed < 0) return false;
        const auto length = static_cast<std::size_t>(needed);
        if (length < sizeof first) {
            text.assign(first, length);
            return true;
        }
        text.resize(length + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(length);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace
}  // namespace zubpro

extern "C" {

void err(int level, const char* format, ...) {
    using namespace zubpro;
    char prefix[64];
    std::size_t prefixLength = 0;
    try {
        if ((static_cast<std::uint32_t>(level) & Log().mask.load()) == 0) return;
        prefixLength = FormatPrefix(prefix, sizeof prefix, level);
        std::string text;
        bool formatted = false;
        if (format != nullptr) {
            va_list args;
            va_start(args, format);
            formatted = FormatText(text, format, args);
            va_end(args);
        }
        if (!formatted) text = format == nullptr ? "(no format)" : "(message could not be formatted)";
        std::string line(prefix, prefixLength);
        line.reserve(prefixLength + text.size() + 1);
        AppendEscaped(line, text);
        line += '\n';
        WriteLine(line);
    } catch (...) {
        // Out of memory: say at least that a line was lost, from what needs no allocation.
        try {
            static constexpr std::string_view kLost = "(log line lost: out of memory)\n";
            if (prefixLength == 0 || prefixLength + kLost.size() > sizeof prefix) return;
            std::memcpy(prefix + prefixLength, kLost.data(), kLost.size());
            WriteLine(std::string_view(prefix, prefixLength + kLost.size()));
        } catch (...) {
        }
    }
}

int ZubSetLogFile(const char* path) {
    using namespace zubpro;
    try {
        LogState& log = Log();
        const int fd = path == nullptr ? kStandardError : OpenLogFile(path);
        if (fd < 0) return -1;
        const std::lock_guard guard(log.lock);
        if (log.ownFile) CloseLogFile(log.fd);
        log.fd = fd;
        log.ownFile = path != nullptr;
        return 0;
    } catch (...) {
        return -1;
    }
}

void ZubSetLogMask(uint32_t mask) {
    try {
        zubpro::Log().mask = mask;
    } catch (...) {
    }
}

uint32_t ZubGetLogMask(void) {
    try {
        return zubpro::Log().mask.load();
    } catch (...) {
        return zubpro::kDefaultMask;
    }
}

}  // extern "C"
