// A simulated "MINTZ - EAGEL system" panel on a serial line, for tests and for the kesmzn-panel
// program. It runs on its own thread; the handle that starts it stops it.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesmzn::sim {

inline constexpr unsigned kMaxZones = 256;
inline constexpr unsigned kModeCount = 19;  // modes 1 to 19

enum class Fault : std::uint8_t {
    DropAck,               // the reply comes without its acknowledgement
    BadLrc,                // the reply's LRC is wrong
    Silent,                // the command is not heard: no acknowledgement, no reply, no change
    UnsolicitedBeforeAck,  // an event line goes out first; the answer waits for its acknowledgement
};
inline constexpr std::size_t kFaultKinds = 4;

// A fault strikes the next nextCommands commands, and after those each command with the given
// probability (0 to 1). Every valid command addressed to the panel rolls each fault once.
struct FaultRate {
    double probability = 0.0;
    unsigned nextCommands = 0;
};

using Clock = std::chrono::steady_clock;

enum class Direction : std::uint8_t { Received, Sent };

// One line on the wire: a received line up to its LF, or one unit the panel sent.
struct LogEntry {
    Direction direction = Direction::Received;
    std::string bytes;
    Clock::time_point when{};
};

struct PanelConfig {
    unsigned zones = 16;                               // 1 to kMaxZones
    std::optional<unsigned> password;                  // accepted password; none: any password
    std::array<std::uint8_t, kModeCount + 1> modes{};  // initial values of modes 1..19 (index 0 unused)
    std::vector<std::uint8_t> zoneStates;              // initial states of zones 1..; the rest start at 1
    bool d5 = false;                                   // answer queries in the D5 status shapes
    double eventIntervalSeconds = 0.0;                 // 0: no spontaneous events
    unsigned maxPendingEvents = 1;                     // unacknowledged events at once, 1 to 17
    unsigned unrecognisedEvery = 0;                    // every Nth event line carries code 5F; 0 never
    unsigned baud = 4800;
    bool pace = false;                                 // hold each byte for its time on the wire
    std::array<FaultRate, kFaultKinds> faults{};
    std::uint64_t seed = 1;                            // of the fault dice, for reproducible runs
    // How long an answer waits for the acknowledgement of an event line that went out before it.
    std::chrono::milliseconds eventAckWait{500};
    std::size_t logCapacity = 4096;                    // entries kept in memory; older ones are dropped
    // Called on the panel's thread for every log entry (the program writes its log file with it).
    std::function<void(const LogEntry&)> onLog;
};

// Empty when the configuration is usable, otherwise what is wrong with it.
std::string validate(const PanelConfig& config);

struct Stats {
    std::uint64_t bytesReceived = 0;
    std::uint64_t bytesSent = 0;
    std::uint64_t linesReceived = 0;      // every LF-terminated line, frames and noise alike
    std::uint64_t noiseBytes = 0;         // received bytes outside any frame
    std::uint64_t overlongLines = 0;      // lines dropped for exceeding the receive buffer
    std::uint64_t rejectedMalformed = 0;  // not a frame, or a count that does not fit its data
    std::uint64_t rejectedLrc = 0;
    std::uint64_t rejectedPassword = 0;
    std::uint64_t rejectedUnknown = 0;    // a well-formed frame the panel has no answer for
    std::uint64_t commandsReceived = 0;   // valid commands addressed to the panel
    std::uint64_t commandsAnswered = 0;   // replies sent
    std::array<std::uint64_t, 5> perKind{};  // commands received, by CommandKind
    std::array<std::uint64_t, kFaultKinds> faultsApplied{};
    std::uint64_t eventsEmitted = 0;         // distinct recognised events sent at least once
    std::uint64_t eventRepeats = 0;          // sends of an event again, for want of its acknowledgement
    std::uint64_t eventsAcknowledged = 0;
    std::uint64_t unrecognisedEmitted = 0;   // event lines with an unrecognised code (sent once)
    std::uint64_t strayAcks = 0;             // acknowledgements matching no pending event
    std::uint64_t answersHeld = 0;           // answers that waited for an event acknowledgement
    std::uint64_t writeDrops = 0;            // bytes that could not be written to the line
    std::uint64_t hangups = 0;               // times the other side went away
};

class Panel {
public:
    ~Panel();
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    // Ends the panel's thread, closes its line and removes its link. Idempotent; returns promptly.
    void stop();

    // The device the driver should open (the pseudo-terminal's slave, or the given path).
    const std::string& devicePath() const;

    std::uint8_t mode(unsigned number) const;  // 1..kModeCount, else std::out_of_range
    void setMode(unsigned number, std::uint8_t value);
    std::uint8_t zoneState(unsigned zone) const;  // 1..zones, else std::out_of_range
    void setZoneState(unsigned zone, std::uint8_t state);
    std::vector<std::uint8_t> zoneStates() const;

    Stats stats() const;
    // Waits until the predicate holds for the statistics or the time-out passes; returns the
    // predicate's last result.
    bool waitFor(const std::function<bool(const Stats&)>& predicate,
                 std::chrono::milliseconds timeout) const;

    std::vector<LogEntry> log() const;
    void clearLog();

    // Puts bytes on the line as they are (paced like everything the panel sends).
    void sendRaw(std::string_view bytes);

    void setFault(Fault fault, FaultRate rate);
    FaultRate fault(Fault fault) const;
    // Whether new events are made at each interval (resends of pending ones go on regardless).
    void setEventGeneration(bool on);

    struct Impl;
    explicit Panel(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> impl_;
};

// Each throws std::invalid_argument for a bad configuration and std::system_error when the line
// cannot be set up.

// Plays the panel on an open descriptor, which the panel takes over and closes at stop.
std::unique_ptr<Panel> startOnFd(int fd, PanelConfig config);

// Opens the device (a serial port, or one end of a pair that socat made) in raw mode. When the
// other side goes away the panel closes it and opens it again until it succeeds.
std::unique_ptr<Panel> startOnDevice(const std::string& path, PanelConfig config);

// Opens a pseudo-terminal of its own and plays the panel on its master; devicePath() is its slave.
// With a link path, a symbolic link there points to the slave (an existing link is replaced) and is
// removed at stop.
std::unique_ptr<Panel> startOnPty(PanelConfig config, const std::string& linkPath = {});

}  // namespace kesmzn::sim
