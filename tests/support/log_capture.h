// Captures what the driver logs through the host logger: the log goes to a temporary file for the
// capture's lifetime and is read back as (level, text) records.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "zubpro.h"

namespace kesmzn::testing {

struct LogRecord {
    int level;
    std::string text;
    bool operator==(const LogRecord&) const = default;
};

class LogCapture {
public:
    explicit LogCapture(std::uint32_t mask = 8 | 32 | 64) {
        char pattern[] = "/tmp/kesmzn-log-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        path_ = pattern;
        previousMask_ = ZubGetLogMask();
        ZubSetLogFile(path_.c_str());
        ZubSetLogMask(mask);
    }
    ~LogCapture() {
        ZubSetLogFile(nullptr);
        ZubSetLogMask(previousMask_);
        std::remove(path_.c_str());
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Every line logged so far: "HH:MM:SS.mmm [level] text" split into level and text.
    std::vector<LogRecord> Records() const {
        std::vector<LogRecord> records;
        std::ifstream in(path_);
        for (std::string line; std::getline(in, line);) {
            const auto open = line.find('[');
            const auto close = line.find("] ", open);
            if (open == std::string::npos || close == std::string::npos) continue;
            records.push_back({std::atoi(line.c_str() + open + 1), line.substr(close + 2)});
        }
        return records;
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& record : Records()) texts.push_back(record.text);
        return texts;
    }

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::uint32_t previousMask_ = 96;
};

}  // namespace kesmzn::testing
