// The driver as a host sees it: the shared library's exports, its binding to the host services, and
// requests through a host program that loads it with dlopen().
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct CommandRun {
    int status;
    std::string output;
};

CommandRun RunCommand(const std::string& command) {
    CommandRun run{-1, {}};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string TempLogPath(const char* name) { return std::string(::testing::TempDir()) + "kesmzn-" + name + ".log"; }

TEST(LoadedDriver, ExportsExactlyKesMain) {
    const CommandRun run = RunCommand("nm -D --defined-only " KESMZN_DRIVER_PATH);
    ASSERT_EQ(run.status, 0) << run.output;
    std::vector<std::string> symbols;
    for (const auto& line : Lines(run.output)) symbols.push_back(line.substr(line.rfind(' ') + 1));
    EXPECT_EQ(symbols, std::vector<std::string>{"KesMain"}) << run.output;
}

TEST(LoadedDriver, BindsErrToTheHostServicesVersion) {
    // The C library's err(3) prints and exits: the driver's reference must name libzubpro's version.
    const CommandRun run = RunCommand("nm -D --undefined-only " KESMZN_DRIVER_PATH);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(" err@ZUBPRO_1"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find(" err@GLIBC"), std::string::npos) << run.output;
}

TEST(LoadedDriver, LogsThroughTheHostServicesWhicheverLoadsFirst) {
    for (const char* order : {"zubpro-first", "driver-first"}) {
        const std::string log = TempLogPath(order);
        std::remove(log.c_str());
        const CommandRun run = RunCommand("ZUBPRO_LOG=" + log + " ZUBPRO_LOG_MASK=96 " DLOPEN_HOST_PATH " " KESMZN_BUILD_DIR " " + order);
        EXPECT_EQ(run.status, 0) << order << ": " << run.output;
        EXPECT_EQ(run.output, "ok\n") << order;
        std::ifstream in(log);
        std::stringstream content;
        content << in.rdbuf();
        // The version line: date as "Mmm dd yyyy" (day right-aligned in two columns), time hh:mm:ss.
        static const std::regex versionLine(
            R"(\[64\] KesMZN-> ColdStart\(\) version compiled on [A-Z][a-z]{2} [ 123][0-9] [0-9]{4} at time [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\n)");
        EXPECT_TRUE(std::regex_search(content.str(), versionLine)) << order << ": " << content.str();
        std::remove(log.c_str());
    }
}

TEST(LoadedDriver, AfterShutDownEveryRequestReturnsZeroAndDoesNothing) {
    // The closing flag lasts while the library is loaded: a process of its own.
    const CommandRun run = RunCommand(DLOPEN_HOST_PATH " " KESMZN_BUILD_DIR " closing");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "ok\n");
}

}  // namespace
