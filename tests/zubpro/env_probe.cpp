// Reports what libzubpro took from the environment at its first use:
//   zubpro_env_probe mask           prints the log mask
//   zubpro_env_probe tick LIMIT_MS  prints the milliseconds until a new client's first message, or
//                                   "none" when none came within LIMIT_MS
//   zubpro_env_probe log            logs one line at level 32
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "zubpro.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "mask") == 0) {
        std::printf("%u\n", ZubGetLogMask());
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "log") == 0) {
        err(ZUB_LEVEL_EVENT, "probe line");
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "tick") == 0) {
        std::uint8_t id = 0;
        if (ZubMkClient("probe", 1, 0, &id) != 0) return 1;
        const auto limit = std::chrono::milliseconds(std::atoi(argv[2]));
        const auto start = std::chrono::steady_clock::now();
        std::thread watchdog([id, limit] {
            std::this_thread::sleep_for(limit);
            ZubStopClient(id);
        });
        const bool got = ZubWaitMsg(id, nullptr, 1) != 0;
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (got)
            std::printf("%lld\n", static_cast<long long>(elapsed.count()));
        else
            std::printf("none\n");
        std::fflush(stdout);
        watchdog.detach();  // its sleep ends with the process
        return 0;
    }
    return 2;
}
