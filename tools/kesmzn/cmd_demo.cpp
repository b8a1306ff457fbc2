// kesmzn demo: a short tour of the driver as a host uses it, on the simulated panel unless --port is
// given: the zones as a block, a few modes, two writes, and a short poll.
#include <chrono>
#include <cstdio>
#include <thread>

#include "commands.h"
#include "connection.h"
#include "exit_status.h"
#include "tag_io.h"
#include "time_text.h"

namespace kesmzn::tool {
namespace {

constexpr int kFirstGuessZones = 16;
constexpr int kPollRounds = 3;
constexpr std::chrono::milliseconds kPollInterval{200};

Tag MakeDemoTag(const char* address, int kind, int number, int blockSize = 0) {
    Tag tag;
    tag.address = address;
    tag.kind = kind;
    tag.number = number;
    tag.blockSize = blockSize;
    return tag;
}

void Step(const char* command) {
    std::printf("\n$ kesmzn %s\n", command);
    std::fflush(stdout);
}

bool Read(Connection& connection, const Tag& tag, int& status) {
    const ReadOutcome outcome = ReadTag(connection, tag);
    if (!outcome.ok) {
        PrintError(DescribeFailure(connection, tag, outcome.clues, "read"));
        status = FailureStatus(outcome.clues);
        return false;
    }
    std::printf("%s\n", tag.blockSize > 0 ? BlockTable(outcome.values).c_str() : ValueText(tag, outcome.value).c_str());
    std::fflush(stdout);
    return true;
}

bool Write(Connection& connection, const Tag& tag, int value, int& status) {
    FailureClues clues;
    if (!WriteTag(connection, tag, value, clues)) {
        PrintError(DescribeFailure(connection, tag, clues, "write"));
        status = FailureStatus(clues);
        return false;
    }
    std::printf("%s written\n", ValueText(tag, value).c_str());
    std::fflush(stdout);
    return true;
}

int Tour(Connection& connection) {
    int status = kExitOk;
    const DriverInfoData& info = connection.driver.info;
    std::printf("kesmzn demo: the driver %s, loaded as a host loads it, on port %s\n", connection.driver.path.c_str(),
                PortLabel(connection).c_str());
    std::printf("driver information: \"%s\", instance block %u bytes, port defaults %u baud\n",
                static_cast<const NameRecord*>(info.names)->title, info.instanceSize, unsigned{info.baud});

    // The zone count is the panel's: a block read of another size tells it.
    Tag block = MakeDemoTag("001", kKindZone, 1, kFirstGuessZones);
    ReadOutcome zones = ReadTag(connection, block);
    if (!zones.ok && zones.clues.panelZones) {
        block.blockSize = *zones.clues.panelZones;
        zones = ReadTag(connection, block);
    }
    const std::string readBlock = "read 001 --block " + std::to_string(block.blockSize);
    Step(readBlock.c_str());
    if (!zones.ok) {
        PrintError(DescribeFailure(connection, block, zones.clues, "read"));
        return FailureStatus(zones.clues);
    }
    std::printf("%s", BlockTable(zones.values).c_str());

    Step("read S01; kesmzn read S02; kesmzn read S03");
    for (int mode = 1; mode <= 3; ++mode) {
        const std::string address = "S0" + std::to_string(mode);
        if (!Read(connection, MakeDemoTag(address.c_str(), kKindMode, mode), status)) return status;
    }
    Step("write 003 2; kesmzn write S02 5");
    const Tag zone3 = MakeDemoTag("003", kKindZone, 3);
    const Tag mode2 = MakeDemoTag("S02", kKindMode, 2);
    if (!Write(connection, zone3, 2, status) || !Write(connection, mode2, 5, status)) return status;

    Step("poll 003 S02 --count 3 --interval 200");
    unsigned answered = 0;
    for (int round = 0; round < kPollRounds; ++round) {
        if (round > 0) std::this_thread::sleep_for(kPollInterval);
        for (const Tag* tag : {&zone3, &mode2}) {
            const ReadOutcome outcome = ReadTag(connection, *tag);
            answered += outcome.ok ? 1 : 0;
            std::printf("%s  %s\n", NowText().c_str(),
                        outcome.ok ? ValueText(*tag, outcome.value).c_str() : (TagLabel(*tag) + ": no answer").c_str());
            std::fflush(stdout);
        }
    }
    std::printf("--- %s poll statistics ---\n%d reads sent, %u answered, %u failed\n", PortLabel(connection).c_str(),
                2 * kPollRounds, answered, 2 * kPollRounds - answered);
    return answered == 2 * kPollRounds ? kExitOk : kExitNoAnswer;
}

}  // namespace

CLI::App* AddDemoCommand(CLI::App& app, DemoOptions& options) {
    auto* command = app.add_subcommand("demo", "a short tour: every zone as a block, a few modes, two writes and a "
                                               "short poll (on a simulated panel without --port)");
    AddPortOptions(*command, options.port);
    return command;
}

int RunDemo(const DemoOptions& options) {
    Connection connection;
    if (const int status = LoadForCommand(connection, options.port); status != kExitOk) return status;
    if (const int status = OpenForCommand(connection, options.port, OpenMode{}); status != kExitOk) {
        CloseConnection(connection);
        return status;
    }
    const int status = Tour(connection);
    std::fflush(stdout);
    CloseConnection(connection);
    return status;
}

}  // namespace kesmzn::tool
