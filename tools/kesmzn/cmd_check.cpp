// kesmzn check: what the driver makes of an address (requests 3 and 4).
#include <cstdio>

#include "address_text.h"
#include "commands.h"
#include "connection.h"
#include "exit_status.h"
#include "json.h"

namespace kesmzn::tool {

CLI::App* AddCheckCommand(CLI::App& app, CheckOptions& options) {
    auto* command = app.add_subcommand("check", "the kind and number the driver gives an address, or why it refuses it");
    command->add_option("address", options.address, "S, S01..S19, or a zone 000..999")->required();
    command->add_option("--block", options.block, "check it as a block tag of N values (request 4)")->type_name("N");
    command->add_flag("--json", options.json, "one JSON object instead of text");
    return command;
}

int RunCheck(const CheckOptions& options) {
    std::string error;
    const auto driver = LoadDriver(error);
    if (!driver) {
        PrintError(error);
        return kExitFailure;
    }
    const AddressCheck check = CheckAddress(*driver, options.address, options.block);
    std::string reason;
    if (!check.valid) {
        reason = ExplainRejection(options.address, options.block);
        if (reason.empty()) reason = "the driver refuses it";
    }
    if (options.json) {
        JsonObject object;
        object.Add("address", options.address);
        if (options.block) object.Add("block", *options.block);
        else object.AddNull("block");
        object.AddBool("valid", check.valid);
        if (check.kind >= 0) object.Add("kind", check.kind).Add("kindName", KindName(check.kind));
        else object.AddNull("kind");
        // S alone leaves the number to the host: the driver sets none.
        if (check.kind > kKindModeOfTag) object.Add("number", check.number);
        else object.AddNull("number");
        if (!check.valid) object.Add("reason", reason);
        std::puts(object.Done().c_str());
    } else if (check.valid) {
        std::string text = options.address + (options.block ? " (block of " + std::to_string(*options.block) + ")" : "") +
                           ": valid, kind " + std::to_string(check.kind) + " (" + KindName(check.kind) + ")";
        if (check.kind == kKindModeOfTag) {
            text += ": reads and writes use the mode number the host keeps for the tag (--mode N here)";
        } else {
            text += ", number " + std::to_string(check.number);
        }
        std::puts(text.c_str());
    } else {
        std::printf("%s%s: invalid: %s\n", options.address.c_str(),
                    options.block ? (" (block of " + std::to_string(*options.block) + ")").c_str() : "", reason.c_str());
    }
    return check.valid ? kExitOk : kExitInvalidAddress;
}

}  // namespace kesmzn::tool
