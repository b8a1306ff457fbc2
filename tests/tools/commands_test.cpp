// The command line itself: help, version, usage errors, and the commands that need no panel (info,
// check), with their JSON read back.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tool_process.h"

namespace kesmzn::tool::testing {
namespace {

using nlohmann::json;

constexpr int kUsage = 2;
constexpr int kInvalidAddress = 5;

TEST(ToolHelp, ListsEveryCommandAndTheExitStatusOfEachCause) {
    const Result help = RunProgram(Kesmzn({"--help"}));
    ASSERT_EQ(help.status, 0) << help.err;
    for (const char* text : {"info", "check", "read", "write", "poll", "watch", "sim", "ports", "doctor", "demo",
                             "2  usage", "3  port not opened", "4  panel not answering after ten attempts",
                             "5  invalid address"}) {
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
    }
}

TEST(ToolHelp, EachCommandHasItsOwnHelpWithItsOptionsAndTheExitStatuses) {
    const struct {
        const char* command;
        std::vector<const char*> options;
    } cases[] = {
        {"info", {"--json"}},
        {"check", {"--block", "--json"}},
        {"read", {"--block", "--mode", "--json", "--port", "--baud", "--data-bits", "--parity", "--stop-bits",
                  "--timeout", "--station", "--trace", "--log"}},
        {"write", {"--mode", "--port"}},
        {"poll", {"--interval", "--count", "--json", "--port"}},
        {"watch", {"--zones", "--interval", "--port"}},
        {"sim", {"--zones", "--password", "--link", "--device", "--drop-ack", "--bad-lrc", "--silent", "--events"}},
        {"ports", {}},
        {"doctor", {"--port", "--baud"}},
        {"demo", {"--port"}},
    };
    for (const auto& each : cases) {
        const Result help = RunProgram(Kesmzn({each.command, "--help"}));
        EXPECT_EQ(help.status, 0) << each.command;
        EXPECT_NE(help.out.find("3  port not opened"), std::string::npos) << each.command;
        for (const char* option : each.options) EXPECT_NE(help.out.find(option), std::string::npos) << each.command << " " << option;
    }
}

TEST(ToolHelp, VersionNamesTheProgram) {
    const Result version = RunProgram(Kesmzn({"--version"}));
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("kesmzn ", 0), 0u) << version.out;
}

TEST(ToolHelp, AWrongCommandLineIsAUsageError) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"read"},
        {"write", "007"},
        {"write", "007", "two"},
        {"read", "007", "--baud", "70000"},
        {"read", "007", "--parity", "sometimes"},
        {"read", "007", "--stop-bits", "3"},
        {"read", "007", "--data-bits", "9"},
        {"read", "007", "--station", "100"},
        {"read", "001", "--block", "0"},
        {"poll", "007", "--count", "0"},
        {"read", "S", "--port", "NUL"},          // S alone needs --mode
        {"read", "007", "--mode", "3"},          // --mode is for S alone
        {"read", "007", "--port", "NUL", "--log", "/nonexistent-folder/driver.log"},
    };
    for (const auto& arguments : cases) {
        const Result result = RunProgram(Kesmzn(arguments), {{"KESMZN_DEVICES", std::nullopt}});
        std::string line;
        for (const auto& argument : arguments) line += argument + " ";
        EXPECT_EQ(result.status, kUsage) << line << result.err;
        EXPECT_FALSE(result.err.empty()) << line;
    }
}

TEST(ToolInfo, TextAndJsonCarryTheDriverInformationRecord) {
    const Result text = RunProgram(Kesmzn({"info"}));
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("720 bytes"), std::string::npos);
    EXPECT_NE(text.out.find("4800 baud 8N1"), std::string::npos);
    EXPECT_NE(text.out.find("\"MZN - MINTZ \""), std::string::npos);
    EXPECT_NE(text.out.find("\u2554"), std::string::npos) << "the banner's corner, drawn in UTF-8";

    const Result machine = RunProgram(Kesmzn({"info", "--json"}));
    ASSERT_EQ(machine.status, 0) << machine.err;
    const json info = json::parse(machine.out);
    EXPECT_EQ(info["instanceSize"], 720);
    EXPECT_EQ(info["shortName"], "MZN - MINTZ ");
    EXPECT_EQ(info["title"], "MINTZ - EAGEL system");
    EXPECT_EQ(info["portDefaults"]["baud"], 4800);
    EXPECT_EQ(info["portDefaults"]["dataBits"], 8);
    EXPECT_EQ(info["portDefaults"]["stopBits"], 0);
    EXPECT_EQ(info["portDefaults"]["parity"], 0);
    EXPECT_EQ(info["fixed"], json::array({70, 4, 1}));
    EXPECT_NE(info["banner"].get<std::string>().find("K E S M Z"), std::string::npos);
    EXPECT_EQ(info["driver"].get<std::string>().substr(info["driver"].get<std::string>().size() - 12), "libkesmzn.so");
}

TEST(ToolCheck, AddressesAsTheDriverJudgesThemWithTheReasonForARefusal) {
    const struct {
        std::vector<std::string> arguments;
        bool valid;
        int kind;     // -1: none
        int number;   // -1: none
        const char* reason;
    } cases[] = {
        {{"S"}, true, 0, -1, ""},
        {{"S07"}, true, 1, 7, ""},
        {{"s19"}, true, 1, 19, ""},
        {{"S1"}, true, 1, 1, ""},
        {{"S5"}, false, -1, -1, "leading zero: S05"},
        {{"S20"}, false, -1, -1, "modes are 1 to 19"},
        {{"S00"}, false, 1, 0, "modes are 1 to 19"},
        {{"007"}, true, 2, 7, ""},
        {{"7"}, false, -1, -1, "exactly three digits: 007"},
        {{"0071"}, false, -1, -1, "exactly three digits"},
        {{"zone"}, false, -1, -1, "an address is S, S01 to S19"},
        {{"S123456789"}, false, -1, -1, "at most eight characters"},
        {{"001", "--block", "16"}, true, 2, 1, ""},
        {{"001", "--block", "256"}, true, 2, 1, ""},
        {{"001", "--block", "257"}, false, 2, 1, "1 to 256 zones"},
        {{"002", "--block", "16"}, false, 2, 2, "the zone address 001"},
        {{"S01", "--block", "16"}, false, 1, 1, "the zone address 001"},
    };
    for (const auto& each : cases) {
        std::vector<std::string> arguments = {"check"};
        arguments.insert(arguments.end(), each.arguments.begin(), each.arguments.end());
        arguments.push_back("--json");
        const Result result = RunProgram(Kesmzn(arguments));
        const std::string label = each.arguments[0];
        EXPECT_EQ(result.status, each.valid ? 0 : kInvalidAddress) << label;
        const json check = json::parse(result.out);
        EXPECT_EQ(check["address"], each.arguments[0]) << label;
        EXPECT_EQ(check["valid"], each.valid) << label;
        if (each.kind >= 0) {
            EXPECT_EQ(check["kind"], each.kind) << label;
        }
        if (each.number >= 0) {
            EXPECT_EQ(check["number"], each.number) << label;
        }
        if (each.valid) {
            EXPECT_FALSE(check.contains("reason")) << label;
        } else {
            EXPECT_NE(check["reason"].get<std::string>().find(each.reason), std::string::npos) << label << ": " << check["reason"];
        }
        // The text form says the same.
        arguments.pop_back();
        const Result text = RunProgram(Kesmzn(arguments));
        EXPECT_EQ(text.status, result.status) << label;
        EXPECT_NE(text.out.find(each.valid ? ": valid" : each.reason), std::string::npos) << label << ": " << text.out;
    }
}

}  // namespace
}  // namespace kesmzn::tool::testing
