#include "device_check.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace kesmzn::tool {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPortsHint = "`kesmzn ports` lists the serial devices and the names KESMZN_DEVICES maps";

// Unix 98 pseudo-terminal slaves: their other end is a program, not hardware.
bool IsPseudoTerminal(dev_t device) { return major(device) >= 136 && major(device) <= 143; }

Finding Make(Verdict verdict, const char* topic, std::string text, std::string cause = {}, std::string hint = {}) {
    return Finding{verdict, topic, std::move(text), std::move(cause), std::move(hint)};
}

std::string ModeText(mode_t mode) {
    std::string text = S_ISCHR(mode) ? "c" : S_ISREG(mode) ? "-" : S_ISDIR(mode) ? "d" : "?";
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) text += (mode & (1u << (8 - bit))) != 0 ? letters[bit] : '-';
    return text;
}

std::string UserName(uid_t uid) {
    if (const passwd* entry = getpwuid(uid)) return entry->pw_name;
    return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    if (const group* entry = getgrgid(gid)) return entry->gr_name;
    return std::to_string(gid);
}

bool ProcessInGroup(gid_t gid) {
    if (getegid() == gid) return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<std::size_t>(i)] == gid) return true;
    }
    return false;
}

// The group database lists the user, but this process does not have the group: a login from before.
bool ListedInGroup(gid_t gid, const std::string& user) {
    const group* entry = getgrgid(gid);
    if (entry == nullptr) return false;
    for (char** member = entry->gr_mem; member != nullptr && *member != nullptr; ++member) {
        if (user == *member) return true;
    }
    return false;
}

Finding CheckExists(const std::string& portName, const ResolvedPort& resolved, struct stat& status) {
    const std::string& path = resolved.path;
    if (stat(path.c_str(), &status) != 0) {
        struct stat linkStatus {};
        std::error_code failure;
        if (lstat(path.c_str(), &linkStatus) == 0 && S_ISLNK(linkStatus.st_mode)) {
            const fs::path target = fs::read_symlink(path, failure);
            return Make(Verdict::kFailure, "device", path + " points to " + target.string() + ", which does not exist",
                        "not found", "is the adapter plugged in, the simulator running? " + std::string(kPortsHint));
        }
        std::string text = path + " does not exist";
        const char* folder = std::getenv("KESMZN_DEVICES");
        if (folder != nullptr && *folder != '\0' && resolved.rule != PortRule::kAbsolutePath) {
            text += " (KESMZN_DEVICES=" + std::string(folder) + " has no entry " + portName + ")";
        }
        std::string hint = "is the adapter plugged in? " + std::string(kPortsHint);
        if (resolved.rule == PortRule::kComNumber) {
            hint = "on Linux " + portName + " means " + path + "; give the name to your device with a link: "
                   "mkdir -p ~/kesmzn-ports && ln -s /dev/ttyUSB0 ~/kesmzn-ports/" + portName +
                   " && export KESMZN_DEVICES=~/kesmzn-ports";
        }
        return Make(Verdict::kFailure, "device", text, "not found", hint);
    }
    std::string text = path;
    if (resolved.rule == PortRule::kDevicesEntry || resolved.rule == PortRule::kAbsolutePath) {
        std::error_code failure;
        const fs::path canonical = fs::canonical(path, failure);
        if (!failure && canonical.string() != path) text += " -> " + canonical.string();
    }
    if (!S_ISCHR(status.st_mode)) {
        const char* what = S_ISREG(status.st_mode) ? "a regular file" : S_ISDIR(status.st_mode) ? "a folder" : "not a device";
        return Make(Verdict::kFailure, "device", text + " is " + what + ", not a serial device", "not a terminal",
                    "give the name of a serial device; " + std::string(kPortsHint));
    }
    text += " exists (character device " + std::to_string(major(status.st_rdev)) + "," +
            std::to_string(minor(status.st_rdev)) + (IsPseudoTerminal(status.st_rdev) ? ", a pseudo-terminal)" : ")");
    return Make(Verdict::kOk, "device", text);
}

Finding CheckAccess(const std::string& path, const struct stat& status, int openError) {
    const std::string user = UserName(geteuid());
    const std::string owner = UserName(status.st_uid) + ":" + GroupName(status.st_gid);
    if (openError == 0) {
        std::string text = "this user (" + user + ") may read and write it";
        if (geteuid() != 0 && geteuid() != status.st_uid && ProcessInGroup(status.st_gid)) {
            text += " as a member of group " + GroupName(status.st_gid);
        }
        return Make(Verdict::kOk, "access", text);
    }
    if (openError == EACCES || openError == EPERM) {
        const std::string groupName = GroupName(status.st_gid);
        std::string text = DeviceText({path, PortRule::kAbsolutePath}) + " is " + ModeText(status.st_mode) + " " + owner +
                           " and this user (" + user + ")";
        std::string hint;
        if (ProcessInGroup(status.st_gid)) {
            text += " may not open it";
            hint = "the group has no read and write permission on it: ask whoever set up the device";
        } else if (ListedInGroup(status.st_gid, user)) {
            text += " is in group " + groupName + " only since a later login";
            hint = "log out and in again (or run: newgrp " + groupName + ")";
        } else {
            text += " is not in group " + groupName;
            hint = "sudo usermod -aG " + groupName + " " + user + ", then log out and in again";
        }
        return Make(Verdict::kFailure, "access", text, "no permission", hint);
    }
    if (openError == EBUSY) {
        const auto holders = FindHolders(path);
        std::string text = "another program holds " + DeviceText({path, PortRule::kAbsolutePath}) + " for itself";
        if (!holders.empty()) text += ": " + DescribeHolders(holders);
        return Make(Verdict::kFailure, "access", text, "in use", "close that program first");
    }
    if (openError == ENXIO || openError == ENODEV || openError == EIO) {
        return Make(Verdict::kFailure, "access", path + " has no port behind it (" + std::strerror(openError) + ")",
                    "no such hardware", "wrong device? " + std::string(kPortsHint));
    }
    return Make(Verdict::kFailure, "access", "cannot open " + path + ": " + std::strerror(openError),
                std::strerror(openError), kPortsHint);
}

Finding CheckTerminal(const std::string& path, int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return Make(Verdict::kFailure, "terminal", path + " is not a terminal: the driver cannot give it line settings",
                    "not a terminal", "give the name of a serial device; " + std::string(kPortsHint));
    }
    return Make(Verdict::kOk, "terminal", path + " is a terminal");
}

std::string LockFileHolder(const std::string& path) {
    const std::string base = fs::path(path).filename().string();
    for (const char* folder : {"/var/lock", "/run/lock"}) {
        std::ifstream file(std::string(folder) + "/LCK.." + base);
        int pid = 0;
        if (file >> pid && pid > 0 && (kill(pid, 0) == 0 || errno == EPERM)) {
            return std::string(folder) + "/LCK.." + base + " names pid " + std::to_string(pid);
        }
    }
    return {};
}

Finding CheckFree(const std::string& path, const struct stat& status, int fd) {
    const auto holders = FindHolders(path);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        std::string text = "another program holds " + DeviceText({path, PortRule::kAbsolutePath});
        if (!holders.empty()) text += ": " + DescribeHolders(holders);
        return Make(Verdict::kFailure, "free", text, "in use", "close that program first");
    }
    flock(fd, LOCK_UN);
    if (const std::string lock = LockFileHolder(path); !lock.empty()) {
        return Make(Verdict::kWarning, "free", "a lock file " + lock, {},
                    "a terminal program (minicom, screen) may be using the port: close it");
    }
    if (!holders.empty()) {
        if (IsPseudoTerminal(status.st_rdev)) {
            return Make(Verdict::kNote, "free", "also open in " + DescribeHolders(holders) + ", the program at its other end, presumably");
        }
        return Make(Verdict::kWarning, "free", "also open in " + DescribeHolders(holders), {},
                    "two programs on one line take each other's bytes: close the other one");
    }
    return Make(Verdict::kOk, "free", "no other program holds it");
}

Finding CheckModemLines(int fd) {
    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) != 0) {
        return Make(Verdict::kNote, "modem lines",
                    "none (a pseudo-terminal or virtual port): the driver skips RTS and CTS on it");
    }
    const bool cts = (lines & TIOCM_CTS) != 0;
    std::string text = std::string("RTS ") + ((lines & TIOCM_RTS) != 0 ? "on" : "off") + ", CTS " + (cts ? "on" : "off") +
                       ", DSR " + ((lines & TIOCM_DSR) != 0 ? "on" : "off") + ", DCD " + ((lines & TIOCM_CD) != 0 ? "on" : "off");
    if (!cts) {
        return Make(Verdict::kWarning, "modem lines", text, {},
                    "the driver raises RTS and waits for CTS before every send, and sends nothing without it: "
                    "wire CTS, or loop RTS to CTS on the connector");
    }
    return Make(Verdict::kOk, "modem lines", text);
}

}  // namespace

std::vector<Holder> FindHolders(const std::string& devicePath) {
    std::vector<Holder> holders;
    std::error_code failure;
    const fs::path wanted = fs::canonical(devicePath, failure);
    if (failure) return holders;
    const int self = getpid();
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return holders;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self) continue;
        const fs::path fdFolder = fs::path("/proc") / entry->d_name / "fd";
        for (fs::directory_iterator fd(fdFolder, failure), last; !failure && fd != last; fd.increment(failure)) {
            std::error_code readFailure;
            if (fs::read_symlink(fd->path(), readFailure) != wanted) continue;
            std::string command;
            std::getline(std::ifstream(fs::path("/proc") / entry->d_name / "comm"), command);
            holders.push_back({static_cast<int>(pid), command});
            break;
        }
        failure.clear();
    }
    closedir(proc);
    return holders;
}

std::string DescribeHolders(const std::vector<Holder>& holders) {
    std::string text;
    for (const Holder& holder : holders) {
        if (!text.empty()) text += ", ";
        text += "pid " + std::to_string(holder.pid) + " (" + holder.command + ")";
    }
    return text;
}

std::vector<Finding> InspectDevice(const std::string& portName, const ResolvedPort& resolved, const LineSettings& settings) {
    std::vector<Finding> findings;
    if (resolved.rule == PortRule::kNullDevice) {
        findings.push_back(Make(Verdict::kNote, "device", "NUL is the null device: the driver runs, but no panel answers"));
        return findings;
    }
    struct stat status {};
    findings.push_back(CheckExists(portName, resolved, status));
    if (findings.back().verdict == Verdict::kFailure) return findings;

    const int fd = open(resolved.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    findings.push_back(CheckAccess(resolved.path, status, fd < 0 ? errno : 0));
    if (fd < 0) return findings;
    findings.push_back(CheckTerminal(resolved.path, fd));
    if (findings.back().verdict == Verdict::kFailure) {
        close(fd);
        return findings;
    }
    findings.push_back(CheckFree(resolved.path, status, fd));
    if (findings.back().verdict != Verdict::kFailure) findings.push_back(CheckModemLines(fd));
    close(fd);
    if (findings.back().verdict == Verdict::kFailure) return findings;

    if (settings.stopBits == 1) {
        findings.push_back(Make(Verdict::kFailure, "settings", "1.5 stop bits: serial ports on Linux have no such setting",
                                "line settings refused", "use --stop-bits 1 or 2"));
    } else {
        findings.push_back(Make(Verdict::kOk, "settings", DescribeSettings(settings)));
    }
    return findings;
}

}  // namespace kesmzn::tool
