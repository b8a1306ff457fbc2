// What the logger needs from the operating system: files by descriptor and the local time. One file
// per platform provides it.
#pragma once

#include <cstddef>

namespace zubpro {

inline constexpr int kStandardError = 2;

// Opens a log file for appending, created if missing. A descriptor, or -1 with errno set.
int OpenLogFile(const char* path);
void CloseLogFile(int fd);

// Writes all of data with as few calls as the system allows (one for a log line); gives up quietly on
// an error, as there is nowhere else to report it.
void WriteWhole(int fd, const char* data, std::size_t size);

struct LocalTime {
    int hour;
    int minute;
    int second;
    int millisecond;
};

LocalTime NowLocal();

}  // namespace zubpro
