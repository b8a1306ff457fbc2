// kesmzn doctor: what stops people most often, checked one by one, each with what to do about it.
#include <cstdio>

#include "commands.h"
#include "connection.h"
#include "device_check.h"
#include "exit_status.h"
#include "port_name.h"
#include "tag_io.h"

namespace kesmzn::tool {
namespace {

const char* VerdictWord(Verdict verdict) {
    switch (verdict) {
        case Verdict::kOk: return "ok";
        case Verdict::kNote: return "note";
        case Verdict::kWarning: return "WARN";
        case Verdict::kFailure: return "FAIL";
    }
    return "";
}

void PrintFinding(const Finding& finding) {
    std::printf("  %-5s %-12s %s\n", VerdictWord(finding.verdict), finding.topic.c_str(), finding.text.c_str());
    if (!finding.hint.empty()) std::printf("  %-5s %-12s -> %s\n", "", "", finding.hint.c_str());
}

Finding CheckName(const std::string& portName, const std::optional<ResolvedPort>& resolved) {
    if (portName.size() > kMaxPortNameLength) {
        return {Verdict::kFailure, "name", portName + " is longer than 11 characters, the most a host gives", "name too long",
                "link it in a KESMZN_DEVICES folder (ln -s " + portName + " \"$KESMZN_DEVICES/COM3\") and use COM3"};
    }
    if (!resolved) return {Verdict::kFailure, "name", "the name resolves to no device", "no device", "give another name"};
    return {Verdict::kOk, "name", portName + " -> " + resolved->path + " (" + DescribeRule(resolved->rule) + ")", {}, {}};
}

}  // namespace

CLI::App* AddDoctorCommand(CLI::App& app, DoctorOptions& options) {
    auto* command = app.add_subcommand("doctor", "check a port: the device its name resolves to, that it exists, is a "
                                                 "terminal, may be opened and is free, its modem lines, and that the "
                                                 "panel answers a mode query");
    AddPortOptions(*command, options.port);
    return command;
}

int RunDoctor(const DoctorOptions& options) {
    Connection connection;
    if (const int status = LoadForCommand(connection, options.port); status != kExitOk) return status;
    connection.portName = options.port.portName;
    if (options.port.portName.empty()) {
        if (const int status = StartEmbeddedForCommand(connection, false); status != kExitOk) return status;
    }
    const LineSettings settings = SettingsFrom(options.port, connection.driver.info);
    std::printf("kesmzn doctor: port %s\n", connection.portName.c_str());

    const auto resolved = ResolvePortName(connection.portName);
    std::vector<Finding> findings{CheckName(connection.portName, resolved)};
    if (findings.back().verdict != Verdict::kFailure) {
        for (Finding& finding : InspectDevice(connection.portName, *resolved, settings)) findings.push_back(std::move(finding));
    }
    bool failed = false;
    for (const Finding& finding : findings) {
        PrintFinding(finding);
        failed = failed || finding.verdict == Verdict::kFailure;
    }
    std::fflush(stdout);
    if (failed) {
        CloseConnection(connection);
        std::printf("the port cannot be used: see FAIL above\n");
        return kExitPortNotOpened;
    }

    int status = OpenForCommand(connection, options.port, OpenMode{});
    if (status == kExitOk) {
        Tag mode;
        mode.address = "S1";
        mode.kind = kKindMode;
        mode.number = 1;
        const ReadOutcome outcome = ReadTag(connection, mode);
        if (outcome.ok) {
            PrintFinding({Verdict::kOk, "panel", "the mode query S1 was answered: " + std::to_string(*outcome.value) +
                                                     " (" + DescribeSettings(connection.settings) + ")", {}, {}});
        } else {
            PrintFinding({Verdict::kFailure, "panel", "no answer to the mode query S1 after ten attempts", {},
                          DescribeClues(outcome.clues, options.port.station) + "; the driver's defaults are " +
                              DescribeSettings(SettingsFrom(PortOptions{}, connection.driver.info))});
            status = kExitNoAnswer;
        }
    } else {
        PrintFinding({Verdict::kFailure, "panel", "the driver could not open the port", {}, "see the message above"});
    }
    std::printf(status == kExitOk ? "all checks passed\n" : "the panel cannot be reached: see FAIL above\n");
    std::fflush(stdout);
    CloseConnection(connection);
    return status;
}

}  // namespace kesmzn::tool
