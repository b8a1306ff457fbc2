// What the driver logs through the host services: sent to a file that this program reads back, to
// relay the exchange trace, to show events in the live view and to explain a failed request.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kesmzn::tool {

struct DriverLog {
    int readFd = -1;
    std::string partial;  // a line not yet complete
    bool relay = false;   // --trace: copy every line to standard error
    bool ownFile = false;   // the file is this program's own, nameless one
};

// Points the host services' log at file (appended to), or at a private file that disappears with the
// process. The exchange trace is always kept in the private file; with a file of the user's it is
// kept when trace is set. trace also relays every line to standard error. False with error set when
// the file cannot be written.
bool OpenDriverLog(DriverLog& log, const std::optional<std::string>& file, bool trace, std::string& error);

// The complete lines logged since the last call ("HH:MM:SS.mmm [level] text"), relayed when asked.
std::vector<std::string> DrainLog(DriverLog& log);

// The level and the text of a log line; level -1 when the line has another shape.
struct LogLine {
    int level = -1;
    std::string time;
    std::string text;
};
LogLine ParseLogLine(const std::string& line);

// What the driver's own messages say about a failed request.
struct FailureClues {
    std::optional<int> panelZones;  // the zone count the panel announced against a wrong block size
    bool noAcknowledgement = false;
    bool badBlockLrc = false;
    bool noCts = false;
    bool portFailed = false;  // RTS could not be driven: the port is closed or gone
};
FailureClues FindClues(const std::vector<std::string>& lines);

// Advice built from the clues, for a read or write that failed ten times on the station's instance.
std::string DescribeClues(const FailureClues& clues, int station);

}  // namespace kesmzn::tool
