#include "driver_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zubpro.h"

namespace kesmzn::tool {
namespace {

constexpr std::uint32_t kEventsAndVersion = ZUB_LEVEL_EVENT | ZUB_LEVEL_VERSION;
constexpr std::uint32_t kEverything = kEventsAndVersion | ZUB_LEVEL_TRACE;
constexpr off_t kLongestPrivateLog = 1 << 20;

std::string TemporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        done += static_cast<std::size_t>(written);
    }
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

bool OpenDriverLog(DriverLog& log, const std::optional<std::string>& file, bool trace, std::string& error) {
    log.relay = trace;
    if (file) {
        if (ZubSetLogFile(file->c_str()) != 0) {
            error = "cannot write the log file " + *file + ": " + std::strerror(errno);
            return false;
        }
        // Read back only a regular file (from its end: only what this run adds); a terminal or a pipe
        // given as the log would hold the reader or lose the lines.
        struct stat status {};
        if (stat(file->c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            log.readFd = open(file->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (log.readFd >= 0) lseek(log.readFd, 0, SEEK_END);
        }
        ZubSetLogMask(trace ? kEverything : kEventsAndVersion);
        return true;
    }
    std::string path = TemporaryFolder() + "/kesmzn-log-XXXXXX";
    log.readFd = mkostemp(path.data(), O_CLOEXEC);
    if (log.readFd < 0 || ZubSetLogFile(path.c_str()) != 0) {
        error = "cannot create a log file in " + TemporaryFolder() + ": " + std::strerror(errno);
        if (log.readFd >= 0) unlink(path.c_str());
        return false;
    }
    log.ownFile = true;
    // Both sides hold the file open: its name is no longer needed, and nothing is left behind.
    unlink(path.c_str());
    ZubSetLogMask(kEverything);
    return true;
}

std::vector<std::string> DrainLog(DriverLog& log) {
    std::vector<std::string> lines;
    if (log.readFd < 0) return lines;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(log.readFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        log.partial.append(buffer, static_cast<std::size_t>(got));
    }
    // The private file is only a pipe to this reader: once all of it is read, it starts again, so a
    // poll that runs for days does not fill the temporary folder. (The host services append, so the
    // next line lands at the new end.)
    if (log.ownFile && log.partial.empty() && lseek(log.readFd, 0, SEEK_CUR) > kLongestPrivateLog &&
        ftruncate(log.readFd, 0) == 0) {
        lseek(log.readFd, 0, SEEK_SET);
    }
    std::size_t start = 0;
    for (std::size_t end = log.partial.find('\n'); end != std::string::npos; end = log.partial.find('\n', start)) {
        lines.push_back(log.partial.substr(start, end - start));
        start = end + 1;
    }
    log.partial.erase(0, start);
    if (log.relay) {
        for (const std::string& line : lines) WriteAll(STDERR_FILENO, line + "\n");
    }
    return lines;
}

LogLine ParseLogLine(const std::string& line) {
    LogLine parsed;
    const std::size_t open = line.find(" [");
    const std::size_t close = open == std::string::npos ? open : line.find("] ", open);
    if (close == std::string::npos) {
        parsed.text = line;
        return parsed;
    }
    parsed.time = line.substr(0, open);
    parsed.level = std::atoi(line.c_str() + open + 2);
    parsed.text = line.substr(close + 2);
    return parsed;
}

FailureClues FindClues(const std::vector<std::string>& lines) {
    static constexpr char kZonesMessage[] = "Please set Block size in Zubrix to: ";
    FailureClues clues;
    for (const std::string& line : lines) {
        if (const std::size_t at = line.find(kZonesMessage); at != std::string::npos) {
            clues.panelZones = std::atoi(line.c_str() + at + sizeof kZonesMessage - 1);
        }
        clues.noAcknowledgement = clues.noAcknowledgement || Contains(line, "Failed with Command Ack");
        clues.badBlockLrc = clues.badBlockLrc || Contains(line, "bad LRC received");
        clues.noCts = clues.noCts || Contains(line, "SendStr -> CTS failed");
        clues.portFailed = clues.portFailed || Contains(line, "Fail to set RTS to");
    }
    return clues;
}

std::string DescribeClues(const FailureClues& clues, int station) {
    char initFile[32];
    std::snprintf(initFile, sizeof initFile, "KESMZN%02d.int", station);
    if (clues.portFailed) return "the port failed: the device may have gone away";
    if (clues.noCts) return "CTS never came, and the driver sends nothing without it: check the RTS/CTS wiring";
    if (clues.badBlockLrc) return "the block replies had a wrong LRC: check the line, or switch the check off (CRC=NO in " + std::string(initFile) + ")";
    const std::string hint = "check the cable, the line settings and the password (" + std::string(initFile) + ")";
    if (clues.noAcknowledgement) return "nothing came back: " + hint;
    return hint;
}

}  // namespace kesmzn::tool
