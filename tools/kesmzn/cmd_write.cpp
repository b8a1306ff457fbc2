// kesmzn write: set a mode or a zone.
#include <cstdio>

#include "address_text.h"
#include "commands.h"
#include "connection.h"
#include "exit_status.h"
#include "tag_io.h"

namespace kesmzn::tool {

CLI::App* AddWriteCommand(CLI::App& app, WriteOptions& options) {
    auto* command = app.add_subcommand("write", "set a mode (one digit, 0 to 9) or a zone (state 1 or 2)");
    command->add_option("address", options.address, "S, S01..S19, or a zone 000..999")->required();
    command->add_option("value", options.value, "the value to write")->required();
    command->add_option("--mode", options.mode, "the mode number for the address S")->check(CLI::Range(1, 19));
    AddPortOptions(*command, options.port);
    return command;
}

int RunWrite(const WriteOptions& options) {
    Connection connection;
    if (const int status = LoadForCommand(connection, options.port); status != kExitOk) return status;
    Tag tag;
    if (const int status = MakeTag(connection.driver, options.address, std::nullopt, options.mode, tag); status != kExitOk) {
        return status;
    }
    // The driver would cut a mode value to its first digit, and make ten silent attempts with a zone
    // state it cannot send: say so before anything goes out.
    if (const std::string reason = ExplainBadValue(tag, options.value); !reason.empty()) {
        PrintError("cannot write " + std::to_string(options.value) + " to " + TagLabel(tag) + ": " + reason);
        return kExitInvalidAddress;
    }
    if (const int status = OpenForCommand(connection, options.port, OpenMode{}); status != kExitOk) {
        CloseConnection(connection);
        return status;
    }
    FailureClues clues;
    const int value = static_cast<int>(options.value);
    int status = kExitOk;
    if (WriteTag(connection, tag, value, clues)) {
        std::printf("%s written\n", ValueText(tag, value).c_str());
    } else {
        PrintError(DescribeFailure(connection, tag, clues, "write"));
        status = FailureStatus(clues);
    }
    std::fflush(stdout);
    CloseConnection(connection);
    return status;
}

}  // namespace kesmzn::tool
