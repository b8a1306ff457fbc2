// kesmzn poll: repeated reads, one line each with a timestamp, and a line of statistics at the end.
#include <cstdio>

#include "address_text.h"
#include "commands.h"
#include "connection.h"
#include "exit_status.h"
#include "json.h"
#include "link_keeper.h"
#include "signals.h"
#include "tag_io.h"
#include "time_text.h"

namespace kesmzn::tool {
namespace {

struct PollCounts {
    unsigned long sent = 0;
    unsigned long answered = 0;
    unsigned long failed = 0;
};

// Port events go to standard error, so that standard output holds only the reads.
void Report(const std::string& text) { PrintError(NowText() + " " + text); }

void PrintRead(const Tag& tag, const ReadOutcome& outcome, bool json) {
    if (json) {
        JsonObject object;
        object.Add("time", NowText(true)).Add("address", tag.address).Add("kind", tag.kind).Add("number", tag.number);
        if (outcome.ok) object.Add("value", *outcome.value);
        else object.AddNull("value").Add("error", "no answer after ten attempts");
        std::puts(object.Done().c_str());
    } else if (outcome.ok) {
        std::printf("%s  %s\n", NowText().c_str(), ValueText(tag, outcome.value).c_str());
    } else {
        std::printf("%s  %s: no answer after ten attempts\n", NowText().c_str(), TagLabel(tag).c_str());
    }
    std::fflush(stdout);
}

void PrintStatistics(const Connection& connection, const PollCounts& counts, bool json) {
    const double failedShare = counts.sent == 0 ? 0.0 : 100.0 * static_cast<double>(counts.failed) / static_cast<double>(counts.sent);
    if (json) {
        JsonObject statistics;
        statistics.Add("sent", static_cast<std::int64_t>(counts.sent))
            .Add("answered", static_cast<std::int64_t>(counts.answered))
            .Add("failed", static_cast<std::int64_t>(counts.failed));
        JsonObject object;
        object.AddRaw("statistics", statistics.Done());
        std::puts(object.Done().c_str());
    } else {
        std::printf("--- %s poll statistics ---\n%lu reads sent, %lu answered, %lu failed (%.1f%% failed)\n",
                    PortLabel(connection).c_str(), counts.sent, counts.answered, counts.failed, failedShare);
    }
    std::fflush(stdout);
}

}  // namespace

CLI::App* AddPollCommand(CLI::App& app, PollOptions& options) {
    auto* command = app.add_subcommand("poll", "read addresses again and again, one line each with a timestamp; "
                                               "Ctrl-C ends with statistics");
    command->add_option("address", options.addresses, "S, S01..S19, or zones 000..999")->required();
    command->add_option("--interval", options.intervalMs, "time from one round of reads to the next")
        ->check(CLI::Range(0u, 3600000u))
        ->capture_default_str()
        ->type_name("MS");
    command->add_option("--count", options.count, "stop after N rounds (default: until Ctrl-C)")
        ->check(CLI::PositiveNumber)
        ->type_name("N");
    command->add_option("--mode", options.mode, "the mode number for the address S")->check(CLI::Range(1, 19));
    command->add_flag("--json", options.json, "one JSON object per line instead of text");
    AddPortOptions(*command, options.port);
    return command;
}

int RunPoll(const PollOptions& options) {
    Connection connection;
    if (const int status = LoadForCommand(connection, options.port); status != kExitOk) return status;
    std::vector<Tag> tags(options.addresses.size());
    for (std::size_t i = 0; i < tags.size(); ++i) {
        if (const int status = MakeTag(connection.driver, options.addresses[i], std::nullopt, options.mode, tags[i]);
            status != kExitOk) {
            return status;
        }
    }
    if (const int status = OpenForCommand(connection, options.port, OpenMode{true, false}); status != kExitOk) {
        CloseConnection(connection);
        return status;
    }

    PollCounts counts;
    LinkKeeper keeper;
    const auto interval = std::chrono::milliseconds(options.intervalMs);
    auto nextRound = SteadyClock::now();
    for (unsigned round = 0; !options.count || round < *options.count;) {
        if (StopRequested(std::chrono::duration_cast<std::chrono::milliseconds>(nextRound - SteadyClock::now()))) break;
        if (keeper.lost) {
            if (const auto report = TryReopen(connection, keeper, SteadyClock::now())) Report(*report);
            if (keeper.lost) {
                nextRound = std::min(keeper.nextTry, SteadyClock::now() + interval);
                continue;
            }
        }
        nextRound = SteadyClock::now() + interval;
        for (const Tag& tag : tags) {
            const ReadOutcome outcome = ReadTag(connection, tag);
            ++counts.sent;
            ++(outcome.ok ? counts.answered : counts.failed);
            PrintRead(tag, outcome, options.json);
            if (!outcome.ok) {
                if (const auto report = AfterFailure(connection, keeper)) Report(*report);
                if (keeper.lost) break;
            }
            if (StopRequested()) break;
        }
        ++round;
    }
    PrintStatistics(connection, counts, options.json);
    CloseConnection(connection);
    if (keeper.lost) return kExitPortNotOpened;
    return counts.failed == 0 ? kExitOk : kExitNoAnswer;
}

}  // namespace kesmzn::tool
