#include <windows.h>
// The C runtime's descriptors, after windows.h.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <climits>

#include "output.h"

namespace zubpro {

// Binary: lines end with LF alone, as on Linux, so one log reads the same on both. Not inherited by
// programs the host starts.
int OpenLogFile(const char* path) {
    return _open(path, _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

void CloseLogFile(int fd) { _close(fd); }

void WriteWhole(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const unsigned chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
        const int written = _write(fd, data, chunk);
        if (written <= 0) return;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

LocalTime NowLocal() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return LocalTime{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace zubpro
