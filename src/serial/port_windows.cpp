// Windows ports: the backend over the system's communications calls. Together with
// port_name_windows.cpp this file holds every operating-system call of the serial link on Windows.
// Each primitive is one call (or two) of the same name: the port operations above already do what
// the platform lacks elsewhere, such as the total read time-out on Linux.
#include <windows.h>

#include <cstring>
#include <new>

#include "serial/control_flags.h"
#include "serial/port_backend.h"
#include "serial/port_name.h"

namespace kesmzn::serial {
namespace {

constexpr DWORD kOpenReadTimeoutMs = 1000;
constexpr DWORD kQueueSize = 1200;

struct WindowsPort {
    HANDLE handle;
    bool device;           // false for the null device: no settings, time-outs or queues
    bool modemLines;       // false where the modem status could not be read at open
    bool settingsChanged;  // saved must be put back
    bool timeoutsSaved;    // savedTimeouts must be put back
    DCB saved;
    COMMTIMEOUTS savedTimeouts;
};

static_assert(sizeof(WindowsPort) <= kPlatformStateSize, "the Windows port state must fit its record");
static_assert(alignof(WindowsPort) <= 8, "the record aligns its platform state to 8");

WindowsPort& StateOf(PortRecord& record) {
    return *std::launder(reinterpret_cast<WindowsPort*>(record.platform));
}

// Stores the error of the call that just failed.
bool Failed(PortRecord& record) {
    record.lastError = static_cast<int>(GetLastError());
    return false;
}

bool NoDevice(PortRecord& record) {
    record.lastError = ERROR_INVALID_FUNCTION;
    return false;
}

// Puts back what open changed. Results are not tested: the close that follows releases the device
// whatever they say.
void Restore(WindowsPort& port) {
    if (port.settingsChanged) SetCommState(port.handle, &port.saved);
    if (port.timeoutsSaved) SetCommTimeouts(port.handle, &port.savedTimeouts);
    port.settingsChanged = port.timeoutsSaved = false;
}

// ---- The backend ----------------------------------------------------------------------------------

// A read with no time-out at all: all three read values 0 mean "wait for the whole count" to Windows,
// for ever on a silent line. The layer's contract is the opposite (a zero time-out returns at once with
// what has arrived), which Windows spells with the interval at MAXDWORD. A host's time-out of 0 thus
// never hangs a read.
bool ReturnsAtOnce(const COMMTIMEOUTS& timeouts) {
    return timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == 0 &&
           timeouts.ReadTotalTimeoutConstant == 0;
}

bool GetTimeouts(PortRecord& record, PortTimeouts* timeouts) {
    WindowsPort& port = StateOf(record);
    if (!port.device) return NoDevice(record);
    COMMTIMEOUTS current{};
    if (!GetCommTimeouts(port.handle, &current)) return Failed(record);
    if (ReturnsAtOnce(current)) current.ReadIntervalTimeout = 0;
    *timeouts = PortTimeouts{current.ReadIntervalTimeout, current.ReadTotalTimeoutMultiplier,
                             current.ReadTotalTimeoutConstant, current.WriteTotalTimeoutMultiplier,
                             current.WriteTotalTimeoutConstant};
    return true;
}

bool SetTimeouts(PortRecord& record, const PortTimeouts& timeouts) {
    WindowsPort& port = StateOf(record);
    if (!port.device) return NoDevice(record);
    COMMTIMEOUTS next{timeouts.readInterval, timeouts.readTotalMultiplier, timeouts.readTotalConstant,
                      timeouts.writeTotalMultiplier, timeouts.writeTotalConstant};
    if (next.ReadIntervalTimeout == 0 && next.ReadTotalTimeoutMultiplier == 0 && next.ReadTotalTimeoutConstant == 0) {
        next.ReadIntervalTimeout = MAXDWORD;
    }
    if (!SetCommTimeouts(port.handle, &next)) return Failed(record);
    return true;
}

bool QueueStatus(PortRecord& record, std::uint32_t* waiting) {
    WindowsPort& port = StateOf(record);
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port.handle, &errors, &status)) return Failed(record);
    *waiting = status.cbInQue;
    return true;
}

// With the interval and the multiplier at 0, ReadFile itself keeps the contract: it returns when the
// count has arrived or the total constant has passed since the call began, with what arrived.
bool Read(PortRecord& record, void* buffer, std::uint32_t count, std::uint32_t* received) {
    WindowsPort& port = StateOf(record);
    DWORD got = 0;
    *received = 0;
    if (!ReadFile(port.handle, buffer, count, &got, nullptr)) return Failed(record);
    *received = got;
    return true;
}

bool Write(PortRecord& record, const void* data, std::uint32_t count, std::uint32_t* written) {
    WindowsPort& port = StateOf(record);
    DWORD sent = 0;
    *written = 0;
    if (!WriteFile(port.handle, data, count, &sent, nullptr)) return Failed(record);
    *written = sent;
    return true;
}

bool SetRtsLine(PortRecord& record, bool asserted) {
    WindowsPort& port = StateOf(record);
    if (!port.modemLines) return true;  // nothing to drive: succeeds without effect
    if (!EscapeCommFunction(port.handle, asserted ? SETRTS : CLRRTS)) return Failed(record);
    return true;
}

bool GetCtsLine(PortRecord& record, bool* asserted) {
    WindowsPort& port = StateOf(record);
    if (!port.modemLines) {
        *asserted = true;  // nobody to wait for
        return true;
    }
    DWORD status = 0;
    if (!GetCommModemStatus(port.handle, &status)) return Failed(record);
    *asserted = (status & MS_CTS_ON) != 0;
    return true;
}

bool Close(PortRecord& record) {
    WindowsPort& port = StateOf(record);
    Restore(port);
    const BOOL closed = CloseHandle(port.handle);
    const DWORD error = GetLastError();
    port.handle = INVALID_HANDLE_VALUE;
    if (!closed) {
        record.lastError = static_cast<int>(error);
        return false;
    }
    return true;
}

constexpr PortBackend kWindowsBackend{
    GetTimeouts, SetTimeouts, QueueStatus, Read, Write, SetRtsLine, GetCtsLine, Close,
};

// ---- Open -----------------------------------------------------------------------------------------

// Releases what the open took so far and answers with code; the failing call's error is taken first.
int Abandon(PortRecord& record, int code) {
    WindowsPort& port = StateOf(record);
    record.lastError = static_cast<int>(GetLastError());
    Restore(port);
    CloseHandle(port.handle);
    port.handle = INVALID_HANDLE_VALUE;
    return code;
}

// The settings read from the device, changed as the port needs them; every other field keeps its value.
DCB MakeCommState(const DCB& current, const PortParams& params, std::uint16_t controlFlags) {
    DCB next = current;
    next.BaudRate = params.baud;
    next.fBinary = TRUE;
    next.fParity = TRUE;
    next.fOutxCtsFlow = FALSE;
    next.fOutxDsrFlow = FALSE;
    next.fDsrSensitivity = FALSE;
    const LineControl control = DecodeControlFlags(controlFlags);
    switch (control.dtr) {
        case DtrControl::kOn: next.fDtrControl = DTR_CONTROL_ENABLE; break;
        case DtrControl::kHandshake: next.fDtrControl = DTR_CONTROL_HANDSHAKE; break;
        case DtrControl::kOff: next.fDtrControl = DTR_CONTROL_DISABLE; break;
    }
    switch (control.rts) {
        case RtsControl::kOn: next.fRtsControl = RTS_CONTROL_ENABLE; break;
        case RtsControl::kHandshake: next.fRtsControl = RTS_CONTROL_HANDSHAKE; break;
        case RtsControl::kToggle: next.fRtsControl = RTS_CONTROL_TOGGLE; break;
        case RtsControl::kOff: next.fRtsControl = RTS_CONTROL_DISABLE; break;
    }
    next.fOutX = FALSE;
    next.fInX = FALSE;
    next.fErrorChar = FALSE;
    next.fNull = FALSE;
    next.fAbortOnError = FALSE;
    // The codes of the host's records are the system's own: 0-4 for parity, 0-2 for stop bits.
    next.ByteSize = static_cast<BYTE>(params.dataBits & 0xFF);
    next.Parity = static_cast<BYTE>(params.parity & 0xFF);
    next.StopBits = static_cast<BYTE>(params.stopBits & 0xFF);
    return next;
}

}  // namespace

int PlatformOpen(const char* name, const PortParams& params, std::uint16_t controlFlags, PortRecord& record) {
    WindowsPort& port = *new (record.platform) WindowsPort{};
    port.handle = INVALID_HANDLE_VALUE;
    record.backend = &kWindowsBackend;

    char path[kPortPathCapacity];
    if (!ResolvePortName(name, path, sizeof path)) {
        record.lastError = name[0] == '\0' ? ERROR_INVALID_NAME : ERROR_FILENAME_EXCED_RANGE;
        return kPortNotOpened;
    }
    // No sharing: a second open of a held device fails. OPEN_EXISTING: a name that matches no device
    // must not create a file. No overlapped flag: every call below is synchronous.
    port.handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port.handle == INVALID_HANDLE_VALUE) {
        Failed(record);
        return kPortNotOpened;
    }
    if (std::strcmp(name, "NUL") == 0) {
        // The null device runs the driver without hardware: no settings, time-outs, queues or modem
        // lines to wait for.
        return kPortOk;
    }
    port.device = true;

    port.saved.DCBlength = sizeof port.saved;
    if (!GetCommState(port.handle, &port.saved)) return Abandon(record, kPortNoSettings);
    port.timeoutsSaved = GetCommTimeouts(port.handle, &port.savedTimeouts) != FALSE;
    COMMTIMEOUTS timeouts{0, 0, kOpenReadTimeoutMs, 0, 0};
    if (!SetCommTimeouts(port.handle, &timeouts)) return Abandon(record, kPortNotOpened);

    DCB settings = MakeCommState(port.saved, params, controlFlags);
    port.settingsChanged = true;  // from here a failed change may have applied in part
    if (!SetCommState(port.handle, &settings)) return Abandon(record, kPortBadSettings);
    SetupComm(port.handle, kQueueSize, kQueueSize);  // a driver with fixed queues may refuse: no matter

    // A device without modem lines (Wine's ports on pseudo-terminals, some USB and network adapters)
    // cannot report their status: it is marked once here, and from then on RTS changes succeed without
    // effect and CTS counts as asserted.
    DWORD status = 0;
    port.modemLines = GetCommModemStatus(port.handle, &status) != FALSE;
    return kPortOk;
}

}  // namespace kesmzn::serial
