#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "output.h"

namespace zubpro {

int OpenLogFile(const char* path) {
    return open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

void CloseLogFile(int fd) { close(fd); }

void WriteWhole(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

LocalTime NowLocal() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return LocalTime{local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1000000L)};
}

}  // namespace zubpro
