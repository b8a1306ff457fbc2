// kesmzn info: the driver information record (request 14).
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "connection.h"
#include "cp437.h"
#include "exit_status.h"
#include "json.h"

namespace kesmzn::tool {

CLI::App* AddInfoCommand(CLI::App& app, InfoOptions& options) {
    auto* command = app.add_subcommand("info", "the driver information: names, banner, instance size, default port settings");
    command->add_flag("--json", options.json, "one JSON object instead of text");
    return command;
}

int RunInfo(const InfoOptions& options) {
    std::string error;
    const auto driver = LoadDriver(error);
    if (!driver) {
        PrintError(error);
        return kExitFailure;
    }
    const DriverInfoData& info = driver->info;
    const auto* names = static_cast<const NameRecord*>(info.names);
    const std::string shortName(names->shortName, strnlen(names->shortName, sizeof names->shortName));
    const std::string title(names->title, strnlen(names->title, sizeof names->title));
    const std::string banner = info.banner != nullptr ? Cp437ToUtf8(info.banner) : std::string();
    LineSettings defaults;
    defaults.baud = info.baud;
    defaults.dataBits = info.dataBits;
    defaults.stopBits = info.stopBits;
    defaults.parity = info.parity;

    if (options.json) {
        JsonObject portDefaults;
        portDefaults.Add("baud", info.baud).Add("dataBits", info.dataBits).Add("stopBits", info.stopBits)
            .Add("parity", info.parity).Add("text", DescribeSettings(defaults));
        JsonObject object;
        object.Add("driver", driver->path).Add("shortName", shortName).Add("title", title).Add("banner", banner)
            .Add("instanceSize", info.instanceSize).AddRaw("portDefaults", portDefaults.Done())
            .AddRaw("fixed", "[" + std::to_string(info.fixed70) + "," + std::to_string(info.fixed4) + "," +
                                 std::to_string(info.fixed1) + "]");
        std::puts(object.Done().c_str());
        return kExitOk;
    }
    std::printf("driver          %s\n", driver->path.c_str());
    std::printf("short name      \"%s\"\n", shortName.c_str());
    std::printf("title           %s\n", title.c_str());
    std::printf("instance size   %u bytes\n", info.instanceSize);
    std::printf("port defaults   %s (codes: stop bits %u, parity %u)\n", DescribeSettings(defaults).c_str(),
                unsigned{info.stopBits}, unsigned{info.parity});
    std::printf("fixed values    %u, %u, %u\n", info.fixed70, info.fixed4, info.fixed1);
    std::printf("banner%s", banner.c_str());  // the banner begins and ends with a line feed
    return kExitOk;
}

}  // namespace kesmzn::tool
