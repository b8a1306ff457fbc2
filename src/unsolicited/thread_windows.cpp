#include <windows.h>
// After windows.h, which it needs.
#include <process.h>

#include <climits>
#include <cstdint>

#include "unsolicited/listener.h"
#include "unsolicited/thread.h"

namespace kesmzn::unsolicited {

namespace {

unsigned __stdcall ListenerEntry(void* instance) {
    UnsolicitedListener(*static_cast<host::InstanceData*>(instance));
    return 0;
}

}  // namespace

bool StartListenerThread(host::InstanceData& instance, std::size_t stackSize) {
    if (stackSize > UINT_MAX) return false;
    // _beginthreadex rather than CreateThread: the listener formats text with the C runtime, which
    // sets up and frees its per-thread data for the threads it starts itself. The size is the stack's
    // reservation; without the flag it would only be the first commit inside the program's default
    // reservation (usually 1 MB).
    const std::uintptr_t thread = _beginthreadex(nullptr, static_cast<unsigned>(stackSize), ListenerEntry, &instance,
                                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == 0) return false;
    // Detached: the thread ends on its own when the host stops its client.
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

}  // namespace kesmzn::unsolicited
