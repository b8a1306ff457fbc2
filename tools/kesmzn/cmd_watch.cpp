// kesmzn watch: the live view. The zones are read as a block at every interval; the arrow keys
// select a zone, 1 and 2 set it (a zone write), q quits.
#include <curses.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "connection.h"
#include "exit_status.h"
#include "link_keeper.h"
#include "signals.h"
#include "tag_io.h"
#include "time_text.h"
#include "watch_view.h"

namespace kesmzn::tool {
namespace {

constexpr int kDefaultZones = 16;  // until the panel says otherwise
constexpr std::size_t kEventLines = 200;
constexpr int kCtrlC = 3;

struct Watch {
    Connection connection;
    WatchScreen screen;
    LinkKeeper keeper;
    Tag block;
    unsigned intervalMs = 1000;
    bool trace = false;
    SteadyClock::time_point nextRefresh{};
};

void AddEvent(Watch& watch, std::string line) {
    watch.screen.events.push_back(std::move(line));
    while (watch.screen.events.size() > kEventLines) watch.screen.events.pop_front();
}

void Say(Watch& watch, const std::string& text) { AddEvent(watch, ClockText() + " kesmzn: " + text); }

// Events and faults (level 32) and the version line always; of the exchange trace only the panel's
// own lines and their acknowledgements, unless the whole trace was asked for.
bool Shown(const LogLine& line, bool trace) {
    if (trace || line.level != 8) return true;
    return line.text.find("Unsolisted Msg") != std::string::npos || line.text.find("SendAck()") != std::string::npos;
}

void TakeLog(Watch& watch, const std::vector<std::string>& lines) {
    for (const std::string& text : lines) {
        if (Shown(ParseLogLine(text), watch.trace)) AddEvent(watch, text);
    }
}

void SetZones(Watch& watch, int zones) {
    watch.block.blockSize = zones;
    watch.screen.values.assign(static_cast<std::size_t>(zones), std::nullopt);
    watch.screen.selected = std::min(watch.screen.selected, zones - 1);
}

void UpdateHeading(Watch& watch) {
    watch.screen.heading = "kesmzn watch   port " + PortLabel(watch.connection) + "   " +
                           std::to_string(watch.block.blockSize) + " zones   every " + std::to_string(watch.intervalMs) +
                           " ms   " + ClockText();
}

void Refresh(Watch& watch) {
    const auto now = SteadyClock::now();
    watch.nextRefresh = now + std::chrono::milliseconds(watch.intervalMs);
    if (watch.keeper.lost) {
        if (const auto report = TryReopen(watch.connection, watch.keeper, now)) Say(watch, *report);
        if (watch.keeper.lost) {
            watch.screen.status = "port lost: reopening";
            return;
        }
    }
    // What came before belongs to the view, not to this read's failure.
    TakeLog(watch, DrainLog(watch.connection.log));
    std::optional<BlockValues> values = ReadBlock(watch.connection.instance, watch.block);
    const auto lines = DrainLog(watch.connection.log);
    TakeLog(watch, lines);
    if (values) {
        watch.screen.values = std::move(*values);
        watch.screen.status = "read at " + ClockText();
        return;
    }
    const FailureClues clues = FindClues(lines);
    if (clues.panelZones && *clues.panelZones != watch.block.blockSize && *clues.panelZones > 0) {
        Say(watch, "the panel has " + std::to_string(*clues.panelZones) + " zones: showing them all");
        SetZones(watch, *clues.panelZones);
        watch.nextRefresh = SteadyClock::now();
        return;
    }
    watch.screen.status = "no answer at " + ClockText() + ": the states shown are older";
    Say(watch, "block read failed: " + DescribeClues(clues, watch.connection.instance.station));
    if (const auto report = AfterFailure(watch.connection, watch.keeper)) Say(watch, *report);
}

void SetSelectedZone(Watch& watch, int state) {
    Tag zone;
    zone.kind = kKindZone;
    zone.number = watch.screen.selected + 1;
    zone.address = TagLabel(zone);
    if (watch.keeper.lost) {
        Say(watch, "cannot set zone " + TagLabel(zone) + ": the port is lost");
        return;
    }
    TakeLog(watch, DrainLog(watch.connection.log));
    const bool written = WriteSingle(watch.connection.instance, zone, state);
    TakeLog(watch, DrainLog(watch.connection.log));
    if (written) {
        Say(watch, "zone " + TagLabel(zone) + " set to " + std::to_string(state));
        watch.nextRefresh = SteadyClock::now();  // show the new state at once
    } else {
        Say(watch, "zone " + TagLabel(zone) + " not set: the panel did not answer after ten attempts");
    }
}

// False when the view is to end.
bool HandleKey(Watch& watch, int key) {
    const int zones = static_cast<int>(watch.screen.values.size());
    const int columns = GridColumns();
    int& selected = watch.screen.selected;
    switch (key) {
        case 'q': case 'Q': case kCtrlC: return false;
        case KEY_LEFT: selected = std::max(0, selected - 1); break;
        case KEY_RIGHT: selected = std::min(zones - 1, selected + 1); break;
        case KEY_UP: if (selected >= columns) selected -= columns; break;
        case KEY_DOWN: if (selected + columns < zones) selected += columns; break;
        case KEY_HOME: selected = 0; break;
        case KEY_END: selected = zones - 1; break;
        case '1': case '2': SetSelectedZone(watch, key - '0'); break;
        default: break;
    }
    return true;
}

}  // namespace

CLI::App* AddWatchCommand(CLI::App& app, WatchOptions& options) {
    auto* command = app.add_subcommand("watch", "a live view: the zones as a grid, the panel's events and failures "
                                                "under it; arrows select a zone, 1 and 2 set it, q quits");
    command->add_option("--zones", options.zones, "the panel's zone count (default: found out from the panel)")
        ->check(CLI::Range(1, 255))
        ->type_name("N");
    command->add_option("--interval", options.intervalMs, "time between two reads of the zones")
        ->check(CLI::Range(100u, 3600000u))
        ->capture_default_str()
        ->type_name("MS");
    AddPortOptions(*command, options.port);
    return command;
}

int RunWatch(const WatchOptions& options) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        PrintError("watch needs a terminal; poll gives the same reads as lines of text");
        return kExitUsage;
    }
    Watch watch;
    watch.intervalMs = options.intervalMs;
    watch.trace = options.port.trace;
    Connection& connection = watch.connection;
    if (const int status = LoadForCommand(connection, options.port); status != kExitOk) return status;
    connection.log.relay = false;  // the screen is the terminal now: the log shows in the view
    watch.block.address = "001";
    watch.block.kind = kKindZone;
    watch.block.number = 1;
    SetZones(watch, options.zones.value_or(kDefaultZones));
    if (const int status = OpenForCommand(connection, options.port, OpenMode{true, true}); status != kExitOk) {
        CloseConnection(connection);
        return status;
    }
    if (connection.embedded) {
        Say(watch, "no --port given: a simulated panel runs in-process on " + connection.embedded->panel->devicePath());
    }
    if (!StartScreen()) {
        CloseConnection(connection);
        PrintError("cannot use the terminal (TERM=" + std::string(std::getenv("TERM") != nullptr ? std::getenv("TERM") : "") + ")");
        return kExitUsage;
    }
    // The first read may take a while (the zone count is found out by it): show the frame at once.
    watch.screen.status = "reading the zones...";
    UpdateHeading(watch);
    DrawScreen(watch.screen);
    for (bool running = true; running && !StopRequested();) {
        const auto now = SteadyClock::now();
        if (now >= watch.nextRefresh) Refresh(watch);
        TakeLog(watch, DrainLog(connection.log));
        UpdateHeading(watch);
        DrawScreen(watch.screen);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(watch.nextRefresh - SteadyClock::now());
        // Short waits keep the clock and the log moving while nothing is pressed.
        const int key = NextKey(static_cast<int>(std::clamp<long long>(wait.count(), 0, 200)));
        if (key >= 0) running = HandleKey(watch, key);
    }
    EndScreen();
    CloseConnection(connection);
    return kExitOk;
}

}  // namespace kesmzn::tool
