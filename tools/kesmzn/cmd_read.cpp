// kesmzn read: one mode, one zone, or every zone as a block.
#include <cstdio>

#include "address_text.h"
#include "commands.h"
#include "connection.h"
#include "exit_status.h"
#include "tag_io.h"

namespace kesmzn::tool {

CLI::App* AddReadCommand(CLI::App& app, ReadOptions& options) {
    auto* command = app.add_subcommand("read", "read a mode (S1..S19, or S with --mode N), a zone (001..999), or with "
                                               "001 --block N every zone");
    command->add_option("address", options.address, "S, S01..S19, or a zone 000..999")->required();
    command->add_option("--block", options.block, "read N zones from 001 at once (the panel's zone count)")
        ->check(CLI::PositiveNumber)
        ->type_name("N");
    command->add_option("--mode", options.mode, "the mode number for the address S")->check(CLI::Range(1, 19));
    command->add_flag("--json", options.json, "one JSON object instead of text");
    AddPortOptions(*command, options.port);
    return command;
}

int RunRead(const ReadOptions& options) {
    Connection connection;
    if (const int status = LoadForCommand(connection, options.port); status != kExitOk) return status;
    Tag tag;
    if (const int status = MakeTag(connection.driver, options.address, options.block, options.mode, tag); status != kExitOk) {
        return status;
    }
    if (const int status = OpenForCommand(connection, options.port, OpenMode{}); status != kExitOk) {
        CloseConnection(connection);
        return status;
    }
    const ReadOutcome outcome = ReadTag(connection, tag);
    int status = kExitOk;
    if (!outcome.ok) {
        PrintError(DescribeFailure(connection, tag, outcome.clues, "read"));
        status = FailureStatus(outcome.clues);
    } else if (options.json) {
        std::puts(ReadJson(connection, tag, outcome).c_str());
    } else if (tag.blockSize > 0) {
        std::fputs(BlockTable(outcome.values).c_str(), stdout);
    } else {
        std::puts(ValueText(tag, outcome.value).c_str());
    }
    std::fflush(stdout);
    CloseConnection(connection);
    return status;
}

}  // namespace kesmzn::tool
