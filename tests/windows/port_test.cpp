// The Windows port layer on its own, linked with the driver's objects: port names, the null device,
// time-outs, reads that time out with what arrived, the modem lines of a device without them, and
// stale handles. scripts/windows-test.sh runs it under Wine with the same COM ports as the test host:
//
//   kesmzn_win_port_tests PANEL SILENT HIGH
//
// PANEL: port of a panel with password 1234 (answers a point query); SILENT: port of a panel that
// never answers; HIGH: a port above COM9 that leads to a panel. Prints "ok NAME" or "FAILED NAME: what"
// per case and goes on after a failure; exit 0 when every case held.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "serial/port.h"
#include "serial/port_name.h"

namespace {

using namespace kesmzn::serial;

const char* panelPort = nullptr;
const char* silentPort = nullptr;
const char* highPort = nullptr;

std::vector<std::string> problems;

void Expect(bool condition, const std::string& what) {
    if (!condition) problems.push_back(what);
}

const PortParams kParams{4800, 8, 0, 0};

std::string Resolve(const char* name) {
    char path[kPortPathCapacity] = {};
    if (!ResolvePortName(name, path, sizeof path)) return "<none>";
    return path;
}

void PortNames() {
    struct NameCase {
        const char* name;
        const char* path;
    };
    // Names stand as they are, but COM names above COM9 get the device namespace prefix.
    const NameCase cases[] = {
        {"COM1", "COM1"},
        {"COM9", "COM9"},
        {"COM10", "\\\\.\\COM10"},
        {"com12", "\\\\.\\com12"},
        {"COM256", "\\\\.\\COM256"},
        {"COM01", "COM01"},  // not a device name the system knows: left for the open to refuse
        {"COM1:", "COM1:"},
        {"COMX", "COMX"},
        {"NUL", "NUL"},
        {"\\\\.\\COM3", "\\\\.\\COM3"},
        {"", "<none>"},
    };
    for (const NameCase& c : cases) {
        const std::string got = Resolve(c.name);
        Expect(got == c.path, std::string("\"") + c.name + "\" gave \"" + got + "\", not \"" + c.path + "\"");
    }
    char small[8] = {};
    Expect(!ResolvePortName("COM12", small, sizeof small), "a path that does not fit is refused");
    Expect(ResolvePortName("COM1234", small, sizeof small) == false, "the prefix counts in the room needed");
}

void NullDevice() {
    PortHandle handle = kNoPort;
    Expect(OpenComm("NUL", &kParams, PORT_RTS_ON, &handle) == kPortOk && HasPort(handle), "NUL opens");
    Expect(SetReadTimeout(handle, 10) == 0, "NUL has no time-outs: SetReadTimeout returns 0");
    bool cts = false;
    Expect(SetRts(handle, true) && SetRts(handle, false), "RTS changes succeed without effect");
    Expect(GetCts(handle, &cts) && cts, "CTS counts as asserted");
    std::uint32_t written = 0;
    Expect(WriteComm(handle, "12345", 5, &written) == kPortOk && written == 5, "a write to NUL is taken whole");
    char buffer[16];
    std::uint32_t received = 99;
    Expect(ReadComm(handle, buffer, sizeof buffer, &received) == kPortIoFailed && received == 0,
           "a read of NUL gets no byte: 7 with 0 received");
    Expect(FlushInput(handle) == 0, "FlushInput on NUL returns 0");
    Expect(CloseComm(handle) == kPortOk, "NUL closes");
    Expect(CloseComm(handle) == kPortIoFailed, "a second close of the same handle fails cleanly");
    Expect(SetReadTimeout(handle, 10) == 0 && FlushInput(handle) == 1, "a closed handle fails every call");
}

void MissingDevice() {
    PortHandle handle = kNoPort;
    int osError = 0;
    Expect(OpenComm("COM98", &kParams, PORT_RTS_ON, &handle, &osError) == kPortNotOpened, "COM98 does not open: 1");
    Expect(!HasPort(handle), "no handle is left");
    Expect(osError == ERROR_FILE_NOT_FOUND || osError == ERROR_PATH_NOT_FOUND,
           "the system's error is reported: " + std::to_string(osError));
}

void TimeoutsAndSilentReads() {
    PortHandle handle = kNoPort;
    if (OpenComm(silentPort, &kParams, PORT_RTS_ON, &handle) != kPortOk) {
        Expect(false, std::string(silentPort) + " does not open");
        return;
    }
    Expect(SetReadTimeout(handle, 10) == 100, "a fresh port has 1000 ms: SetReadTimeout(10) returns 100");
    Expect(SetReadTimeout(handle, 10) == 10, "then it holds 100 ms");
    char buffer[300];
    std::uint32_t received = 99;
    const ULONGLONG start = GetTickCount64();
    Expect(ReadComm(handle, buffer, sizeof buffer, &received) == kPortIoFailed && received == 0,
           "a silent line reads nothing: 7 with 0 received");
    const ULONGLONG took = GetTickCount64() - start;
    Expect(took >= 80 && took < 2000, "the read ends after its 100 ms time-out, took " + std::to_string(took) + " ms");
    Expect(FlushInput(handle) == 0, "FlushInput of an empty queue returns 0");

    // A time-out of 0 (a host may give one at ColdStart) returns at once, never waits for the count.
    Expect(SetReadTimeout(handle, 0) == 10, "SetReadTimeout(0) returns the 10 before it");
    const ULONGLONG zeroStart = GetTickCount64();
    received = 99;
    Expect(ReadComm(handle, buffer, sizeof buffer, &received) == kPortIoFailed && received == 0,
           "with time-out 0 a silent line reads nothing: 7 with 0 received");
    const ULONGLONG zeroTook = GetTickCount64() - zeroStart;
    Expect(zeroTook < 80, "with time-out 0 the read returns at once, took " + std::to_string(zeroTook) + " ms");
    Expect(SetReadTimeout(handle, 10) == 0, "the time-out of 0 reads back as 0");
    Expect(CloseComm(handle) == kPortOk, "the port closes");
}

// Wine's ports on pseudo-terminals cannot report the modem lines: the layer then drives none and
// waits for none.
void NoModemLines() {
    PortHandle handle = kNoPort;
    if (OpenComm(silentPort, &kParams, PORT_RTS_ON, &handle) != kPortOk) {
        Expect(false, std::string(silentPort) + " does not open");
        return;
    }
    bool cts = false;
    Expect(SetRts(handle, true), "RTS on succeeds");
    Expect(GetCts(handle, &cts) && cts, "CTS counts as asserted");
    Expect(SetRts(handle, false), "RTS off succeeds");
    Expect(CloseComm(handle) == kPortOk, "the port closes");
}

// What a panel sends back arrives whole; a read for more than that ends with 7 and the running total.
void ReadWithRunningTotal() {
    PortHandle handle = kNoPort;
    if (OpenComm(panelPort, &kParams, PORT_RTS_ON, &handle) != kPortOk) {
        Expect(false, std::string(panelPort) + " does not open");
        return;
    }
    SetReadTimeout(handle, 50);
    FlushInput(handle);
    // Zone 8: the zone read of zone 7 is the driver's own, checked on the panel's log.
    static const char kZoneQuery[] = ":06091234660080CB\r\n";
    std::uint32_t written = 0;
    Expect(WriteComm(handle, kZoneQuery, sizeof kZoneQuery - 1, &written) == kPortOk && written == 19,
           "the 19 characters of the zone query are written");
    char buffer[300] = {};
    std::uint32_t received = 0;
    Expect(ReadComm(handle, buffer, sizeof buffer, &received) == kPortIoFailed, "a read for 300 bytes times out: 7");
    // The acknowledgement (":" , the frame's LRC byte 0xCB, CR LF) and the 23-character point reply.
    Expect(received == 4 + 23, "the running total holds both lines: " + std::to_string(received));
    Expect(received >= 4 && buffer[0] == ':' && static_cast<unsigned char>(buffer[1]) == 0xCB,
           "the acknowledgement carries the frame's LRC");
    Expect(received >= 5 && buffer[4] == ':' && buffer[received - 1] == '\n', "the point reply follows, whole");
    Expect(CloseComm(handle) == kPortOk, "the port closes");
}

void HighComName() {
    PortHandle handle = kNoPort;
    Expect(OpenComm(highPort, &kParams, PORT_RTS_ON, &handle) == kPortOk, std::string(highPort) + " opens");
    if (HasPort(handle)) Expect(CloseComm(handle) == kPortOk, "and closes");
}

struct TestCase {
    const char* name;
    void (*run)();
};

constexpr TestCase kCases[] = {
    {"port_names", PortNames},
    {"null_device", NullDevice},
    {"missing_device", MissingDevice},
    {"timeouts_and_silent_reads", TimeoutsAndSilentReads},
    {"no_modem_lines", NoModemLines},
    {"read_with_running_total", ReadWithRunningTotal},
    {"high_com_name", HighComName},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: kesmzn_win_port_tests PANEL SILENT HIGH\n");
        return 2;
    }
    panelPort = argv[1];
    silentPort = argv[2];
    highPort = argv[3];
    int failed = 0;
    for (const TestCase& test : kCases) {
        problems.clear();
        test.run();
        if (problems.empty()) {
            std::printf("ok %s\n", test.name);
        } else {
            ++failed;
            for (const std::string& problem : problems) std::printf("FAILED %s: %s\n", test.name, problem.c_str());
        }
        std::fflush(stdout);
    }
    std::printf(failed == 0 ? "all cases passed\n" : "some cases failed\n");
    return failed == 0 ? 0 : 1;
}
