// Helpers shared by the host services tests: temporary files, reading a log back, running a helper
// program and collecting what it printed.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace zubpro::testing {

// A fresh empty file, removed when the object goes.
class TempFile {
public:
    TempFile() {
        const char* dir = std::getenv("TMPDIR");
        std::string pattern = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/zubpro-test-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd >= 0) close(fd);
        path_ = pattern;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// One log line taken apart: "HH:MM:SS.mmm [level] text".
struct LogLine {
    bool whole = false;  // the line has the expected shape
    int seconds = 0;     // time of day of the stamp, whole seconds
    int level = 0;
    std::string text;
};

inline LogLine ParseLogLine(const std::string& line) {
    // Only the stamp goes through the regex: std::regex recurses per character and would overflow the
    // stack on a long text.
    static const std::regex shape(R"(^([0-2][0-9]):([0-5][0-9]):([0-6][0-9])\.[0-9]{3} \[(-?[0-9]+)\] $)");
    LogLine parsed;
    const auto textStart = line.find("] ");
    if (textStart == std::string::npos) return parsed;
    const std::string stamp = line.substr(0, textStart + 2);
    std::smatch match;
    if (!std::regex_match(stamp, match, shape)) return parsed;
    parsed.whole = true;
    parsed.seconds = std::stoi(match[1]) * 3600 + std::stoi(match[2]) * 60 + std::stoi(match[3]);
    parsed.level = std::stoi(match[4]);
    parsed.text = line.substr(textStart + 2);
    return parsed;
}

// "[level] text" of every line of a log file; a line of another shape is kept as "malformed: ...".
inline std::vector<std::string> LoggedBodies(const std::string& path) {
    std::vector<std::string> bodies;
    for (const auto& line : SplitLines(ReadAll(path))) {
        const LogLine parsed = ParseLogLine(line);
        bodies.push_back(parsed.whole ? "[" + std::to_string(parsed.level) + "] " + parsed.text : "malformed: " + line);
    }
    return bodies;
}

inline std::string Quoted(const std::string& text) { return "'" + text + "'"; }

struct CommandResult {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string output;  // standard output and standard error together
};

// Runs a shell command line with standard error joined to standard output.
inline CommandResult RunCommand(const std::string& command) {
    CommandResult run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, got);
    const int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

// The environment variables this library reads, cleared so the caller's shell does not leak in.
inline constexpr const char* kCleanEnvironment = "env -u ZUBPRO_LOG -u ZUBPRO_LOG_MASK -u ZUBPRO_TICK_MS ";

}  // namespace zubpro::testing
