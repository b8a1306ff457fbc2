#include "panel_impl.h"
#include "replies.h"
#include "tty.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace kesmzn::sim {

namespace {

using namespace std::chrono_literals;

// How long a line that went away is left alone before it is tried again: short enough to catch a
// driver reopening its port, long enough not to spin.
constexpr auto kRetryAfterHangup = 50ms;
constexpr auto kReopenDeviceEvery = 100ms;
// The driver may change terminal settings between two exchanges; looking again before every write
// would cost a system call per paced byte.
constexpr auto kRawCheckEvery = 5ms;
// Bytes written to a pseudo-terminal reach its reader's queue a moment later.
constexpr auto kTransferGrace = 5ms;

struct Loop {
    Panel::Impl& panel;
    LineAssembler input;
    Wire wire;
    EventSource events;
    EventCounts eventCounts;
    Stats local;  // published to panel.stats once per turn
    std::vector<LogEntry> newEntries;
    std::optional<HeldAnswer> held;

    std::optional<Clock::time_point> nextTick;
    Clock::duration interval{};

    bool down = false;  // left out of the poll until retryAt
    bool gone = false;  // the other side went away; counted once until bytes arrive again
    Clock::time_point retryAt{};
    bool blockedOnWrite = false;
    Clock::time_point lastRawCheck{};
    Clock::time_point lastWriteAt{};
    std::size_t burstBytes = 0;  // written in writes less than kTransferGrace apart

    explicit Loop(Panel::Impl& p) : panel(p) {}

    int rawFd() const {
        if (panel.slaveFd >= 0) return panel.slaveFd;
        return panel.ioFd >= 0 && isatty(panel.ioFd) ? panel.ioFd : -1;
    }

    void note(Direction direction, std::string_view bytes, Clock::time_point now) {
        newEntries.push_back(LogEntry{direction, std::string(bytes), now});
    }

    void send(std::string_view bytes, Clock::time_point now) {
        if (bytes.empty()) return;
        if (!enqueue(wire, bytes, now)) {
            local.writeDrops += bytes.size();
            return;
        }
        note(Direction::Sent, bytes, now);
    }

    // True when an event line of a pending event is still ahead of anything queued now: the driver
    // will read it first and acknowledge it, flushing its input.
    bool eventLineAhead() const {
        if (events.pending.empty()) return false;
        std::size_t unread = 0;
        if (panel.slaveFd >= 0) {
            unread = unreadInput(panel.slaveFd).value_or(0);
            // A pseudo-terminal hands written bytes to its reader's side a moment later; until then
            // the count does not show them.
            if (Clock::now() - lastWriteAt < kTransferGrace) unread = std::max(unread, burstBytes);
        }
        const std::string ahead = aheadOfReader(wire, unread);
        for (std::size_t i = ahead.find(':'); i != std::string::npos; i = ahead.find(':', i + 1)) {
            if (i + 5 <= ahead.size() && isPendingCode(events, std::string_view(ahead).substr(i + 3, 2))) {
                return true;
            }
        }
        return false;
    }

    void answer(std::string_view ack, std::string_view reply, Clock::time_point now) {
        send(ack, now);
        send(reply, now);
        ++local.commandsAnswered;
    }

    void release(Clock::time_point now) {
        if (!held) return;
        answer(held->ack, held->reply, now);
        held.reset();
    }

    void tick(Clock::time_point now) {
        // A panel does not repeat itself while it is still sending or waiting to answer, nor pile
        // lines up behind a reader that has stopped reading.
        if (!wire.queue.empty() || held) return;
        bool generate = true;
        {
            std::lock_guard lock(panel.mutex);
            generate = panel.generateEvents;
        }
        // Half an interval: a line sent out of turn (before an answer) is not repeated at once.
        for (const std::string& line : eventTick(events, generate, now, interval / 2, eventCounts)) send(line, now);
    }

    void onCommand(const Command& command, Clock::time_point now) {
        FaultSet faults{};
        std::string reply;
        {
            std::lock_guard lock(panel.mutex);
            switch (judge(panel.state, command, panel.password)) {
            case Verdict::WrongPassword: ++local.rejectedPassword; return;
            case Verdict::OutOfRange: ++local.rejectedUnknown; return;
            case Verdict::Answer: break;
            }
            ++local.commandsReceived;
            ++local.perKind[static_cast<std::size_t>(command.kind)];
            faults = rollFaults(panel.dice);
            if (!has(faults, Fault::Silent)) {
                reply = perform(panel.state, command, panel.config.d5, has(faults, Fault::BadLrc));
            }
        }
        for (std::size_t i = 0; i < kFaultKinds; ++i) {
            if (faults[i]) ++local.faultsApplied[i];
        }
        // A new command means the driver gave up waiting for an answer still held back.
        held.reset();
        if (has(faults, Fault::Silent)) return;
        const std::string ack = has(faults, Fault::DropAck) ? std::string() : ackLine(command.lrc);
        if (has(faults, Fault::UnsolicitedBeforeAck)) {
            std::string code;
            send(eventNow(events, now, eventCounts, code), now);
            held = HeldAnswer{ack, reply, now + panel.config.eventAckWait, code};
        } else if (eventLineAhead()) {
            held = HeldAnswer{ack, reply, now + panel.config.eventAckWait, std::nullopt};
        } else {
            answer(ack, reply, now);
            return;
        }
        ++local.answersHeld;
    }

    void onEventAck(std::string_view code, Clock::time_point now) {
        if (!acknowledgeEvent(events, code, eventCounts)) return;
        if (!held) return;
        if (held->awaitCode && *held->awaitCode == code) held->awaitCode.reset();
        if (!held->awaitCode && !eventLineAhead()) release(now);
    }

    void onLine(std::string_view line, Clock::time_point now) {
        note(Direction::Received, line, now);
        ++local.linesReceived;
        const std::string_view frameText = frameOf(line);
        local.noiseBytes += line.size() - frameText.size();
        if (frameText.empty()) return;
        const ParsedFrame parsed = parseFrame(frameText);
        switch (parsed.error) {
        case FrameError::None: break;
        case FrameError::Malformed:
        case FrameError::Count: ++local.rejectedMalformed; return;
        case FrameError::Lrc: ++local.rejectedLrc; return;
        }
        const Classified classified = classify(parsed.frame);
        switch (classified.kind) {
        case FrameKind::EventAck: onEventAck(classified.ackCode, now); break;
        case FrameKind::Command: onCommand(classified.command, now); break;
        case FrameKind::Unknown: ++local.rejectedUnknown; break;
        }
    }

    void hangUp(Clock::time_point now) {
        if (!gone) ++local.hangups;
        gone = true;
        down = true;
        blockedOnWrite = false;
        if (panel.reopenDevice && panel.ioFd >= 0) {
            close(panel.ioFd);
            panel.ioFd = -1;
            retryAt = now + kReopenDeviceEvery;
        } else {
            retryAt = now + kRetryAfterHangup;
        }
    }

    void readInput(Clock::time_point now) {
        char buffer[4096];
        for (int round = 0; round < 16; ++round) {
            const ssize_t n = read(panel.ioFd, buffer, sizeof buffer);
            if (n > 0) {
                gone = false;
                local.bytesReceived += static_cast<std::uint64_t>(n);
                if (const int fd = rawFd(); fd >= 0) keepRaw(fd);
                feedBytes(input, std::string_view(buffer, static_cast<std::size_t>(n)),
                          [&](std::string_view line) { onLine(line, now); });
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            // End of file or an error (EIO from a pseudo-terminal master nobody holds open).
            hangUp(now);
            return;
        }
    }

    void writeDue(Clock::time_point now) {
        if (wire.queue.empty() || blockedOnWrite) return;
        if (panel.ioFd < 0) {
            local.writeDrops += dropQueued(wire);
            return;
        }
        const std::size_t due = dueBytes(wire, now);
        if (due == 0) return;
        if (const int fd = rawFd(); fd >= 0 && now - lastRawCheck >= kRawCheckEvery) {
            keepRaw(fd);
            lastRawCheck = now;
        }
        const ssize_t n = write(panel.ioFd, wire.queue.data(), due);
        if (n > 0) {
            const auto written = Clock::now();
            if (written - lastWriteAt >= kTransferGrace) burstBytes = 0;
            burstBytes += static_cast<std::size_t>(n);
            lastWriteAt = written;
            local.bytesSent += static_cast<std::uint64_t>(n);
            markWritten(wire, static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < due) blockedOnWrite = true;
            return;
        }
        if (n < 0 && errno == EINTR) return;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            blockedOnWrite = true;
            return;
        }
        local.writeDrops += dropQueued(wire);
        hangUp(now);
    }

    void retryLine(Clock::time_point now) {
        if (!down || now < retryAt) return;
        if (panel.reopenDevice && panel.ioFd < 0) {
            panel.ioFd = openDevice(panel.devicePath, panel.config.baud);
            if (panel.ioFd < 0) {
                retryAt = now + kReopenDeviceEvery;
                return;
            }
        }
        // Polled again; a line still gone reports its hang-up at once and waits another round.
        down = false;
    }

    // Takes what the handle's threads asked for; false when the panel is to stop.
    bool takeRequests(Clock::time_point now) {
        std::string raw;
        {
            std::lock_guard lock(panel.mutex);
            if (panel.stopping) return false;
            raw.swap(panel.rawOut);
        }
        send(raw, now);
        return true;
    }

    void publish() {
        local.overlongLines = input.overlong;
        local.eventsEmitted = eventCounts.emitted;
        local.eventRepeats = eventCounts.repeats;
        local.eventsAcknowledged = eventCounts.acknowledged;
        local.unrecognisedEmitted = eventCounts.unrecognised;
        local.strayAcks = eventCounts.stray;
        std::vector<LogEntry> entries;
        entries.swap(newEntries);
        {
            std::lock_guard lock(panel.mutex);
            panel.stats = local;
            for (const LogEntry& entry : entries) {
                panel.log.push_back(entry);
                if (panel.log.size() > panel.config.logCapacity) panel.log.pop_front();
            }
        }
        panel.changed.notify_all();
        if (panel.config.onLog) {
            for (const LogEntry& entry : entries) panel.config.onLog(entry);
        }
    }

    std::optional<Clock::time_point> deadline(Clock::time_point now) const {
        std::optional<Clock::time_point> when;
        const auto consider = [&](std::optional<Clock::time_point> t) {
            if (t && (!when || *t < *when)) when = t;
        };
        if (held) consider(held->deadline);
        consider(nextTick);
        if (!wire.queue.empty() && !blockedOnWrite) consider(wire.paced ? nextDue(wire) : now);
        if (down) consider(retryAt);
        return when;
    }

    void run() {
        // Paced bytes at 115200 baud are 87 microseconds apart: the default timer slack of 50
        // microseconds would smear them.
        prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
        // A write to a socket whose peer has gone must fail with EPIPE here, not kill the process.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        const Clock::time_point start = Clock::now();
        wire.paced = panel.config.pace;
        wire.byteTime = byteTimeAt(panel.config.baud);
        events.maxPending = panel.config.maxPendingEvents;
        events.unrecognisedEvery = panel.config.unrecognisedEvery;
        events.zones = panel.config.zones;
        if (panel.config.eventIntervalSeconds > 0) {
            interval = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(panel.config.eventIntervalSeconds));
            interval = std::max<Clock::duration>(interval, 1ms);
            nextTick = start + interval;
        }
        while (true) {
            Clock::time_point now = Clock::now();
            if (!takeRequests(now)) break;
            if (held && now >= held->deadline) release(now);
            if (nextTick && now >= *nextTick) {
                tick(now);
                *nextTick += interval;
                if (*nextTick <= now) *nextTick = now + interval;
            }
            retryLine(now);
            publish();
            writeDue(now);

            pollfd fds[2] = {{panel.wakeFd, POLLIN, 0}, {panel.ioFd, 0, 0}};
            nfds_t count = 1;
            if (panel.ioFd >= 0 && !down) {
                fds[1].events = static_cast<short>(POLLIN | (blockedOnWrite ? POLLOUT : 0));
                count = 2;
            }
            timespec timeout{};
            timespec* timeoutPointer = nullptr;
            if (const auto when = deadline(now)) {
                const auto left = std::max<Clock::duration>(*when - Clock::now(), Clock::duration::zero());
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
                timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
                timeoutPointer = &timeout;
            }
            if (ppoll(fds, count, timeoutPointer, nullptr) < 0 && errno != EINTR) break;
            now = Clock::now();
            if (fds[0].revents & POLLIN) {
                std::uint64_t value = 0;
                [[maybe_unused]] const ssize_t n = read(panel.wakeFd, &value, sizeof value);
            }
            if (count == 2) {
                if (fds[1].revents & POLLOUT) blockedOnWrite = false;
                if (fds[1].revents & POLLIN) {
                    readInput(now);
                } else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                    hangUp(now);
                }
            }
        }
        publish();
    }
};

}  // namespace

void runPanel(Panel::Impl& panel) {
    Loop loop(panel);
    loop.run();
}

}  // namespace kesmzn::sim
