#include "signals.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "embedded_panel.h"
#include "exit_status.h"

namespace kesmzn::tool {
namespace {

bool gStopped = false;

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

void EndNow(int) {
    RemoveEmbeddedPanelFilesNow();
    _exit(kExitInterrupted);
}

}  // namespace

void EndAtOnceOnSignals() {
    struct sigaction action {};
    action.sa_handler = EndNow;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

void CollectSignals() {
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

bool StopRequested(std::chrono::milliseconds wait) {
    if (gStopped) return true;
    const sigset_t signals = StopSignals();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now());
        const auto ns = left.count() > 0 ? left.count() : 0;
        const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        if (sigtimedwait(&signals, nullptr, &timeout) > 0) {
            gStopped = true;
            return true;
        }
        if (errno != EINTR || ns == 0) return false;
    }
}

}  // namespace kesmzn::tool
