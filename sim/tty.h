// Terminal plumbing: the panel's own pseudo-terminal, devices, raw mode, the link to the slave.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kesmzn::sim {

struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string slavePath;
};

// A raw pseudo-terminal pair: master non-blocking. Throws std::system_error.
PtyPair openPty(unsigned baud);

// Opens a device for reading and writing without making it the controlling terminal, raw when it is
// a terminal. Returns -1 with errno set on failure.
int openDevice(const std::string& path, unsigned baud);

// Clears any cooked-mode flag that someone set on the terminal since (echo, canonical input, CR/LF
// translation, output processing), keeping speed, framing and read time-outs. True when it changed
// something.
bool keepRaw(int fd);

// Bytes written to the terminal that its reader has not taken yet; nullopt when unknown.
std::optional<std::size_t> unreadInput(int fd);

bool isStandardBaud(unsigned baud);

// Points a symbolic link at target, replacing what is there. Throws std::system_error.
void placeLink(const std::string& link, const std::string& target);

// Removes the link if it still points at target (another panel may have taken the name since).
void removeLinkIfOurs(const std::string& link, const std::string& target);

}  // namespace kesmzn::sim
