/*
 * A Windows host for the driver, in plain C: it loads kesmzn.dll from its own folder with LoadLibrary,
 * finds KesMain with GetProcAddress and drives it through the records of kesmzn.h, as the real host
 * does. It lends the host services by linking zubpro.dll, the library the driver imports them from.
 *
 *   kesmzn_win_host PANEL EVENTS SILENT LOG
 *
 * PANEL: port name of a panel with password 1234 and 16 zones, all in state 1; EVENTS: port name of
 * a panel that sends events; SILENT: port name of a panel that never answers; LOG: the driver's log
 * file (trace level), read back to see what the driver did.
 *
 * The cases run in order (later ones use the instance of the first), each printing "ok NAME" or
 * "FAILED NAME: what", and go on after a failure. Exit 0 when every case held. Initialization files
 * for stations 1 to 3 are written into the current folder, where the driver reads them.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kesmzn.h"
#include "zubpro.h"

typedef int(KESMZN_CALL* KesMainFn)(RequestBlock*);

enum { kStationPanel = 1, kStationEvents = 12, kStationSilent = 3, kStationNull = 4 };

static KesMainFn kesMain;
static const char* panelPort;
static const char* eventsPort;
static const char* silentPort;
static const char* logPath;
static int caseFailed;
static int failures;

/* Instance blocks, as the host allocates them: zero-filled, of the announced size. */
static unsigned char panelBlock[720];
static unsigned char eventsBlock[720];
static unsigned char silentBlock[720];
static unsigned char nullBlock[720];
static unsigned char missingBlock[720];

static void Check(int condition, const char* caseName, const char* what) {
    if (condition) return;
    printf("FAILED %s: %s\n", caseName, what);
    fflush(stdout);
    caseFailed = 1;
}

static void EndCase(const char* caseName) {
    if (caseFailed) {
        failures++;
    } else {
        printf("ok %s\n", caseName);
        fflush(stdout);
    }
    caseFailed = 0;
}

static int Request(void* instance, uint32_t code, int32_t station, void* data) {
    RequestBlock request;
    memset(&request, 0, sizeof request);
    request.instance = instance;
    request.code = code;
    request.station = station;
    request.data = data;
    return kesMain(&request);
}

static int ColdStart(void* instance, int32_t station, const char* port) {
    ColdStartData data;
    memset(&data, 0, sizeof data);
    strncpy(data.name, port, sizeof data.name - 1);
    data.enabled = 1;
    data.timeout = 100; /* 1 s, in 10 ms units */
    data.baud = 4800;
    data.dataBits = 8;
    data.stopBits = 0;
    data.parity = 0;
    return Request(instance, KES_REQUEST_COLD_START, station, &data);
}

/* Request 3 (or 4 for a block tag with count values); fills kind and number as the host keeps them. */
static int CheckAddress(const char* text, uint32_t code, int32_t count, int32_t* kind, int32_t* number) {
    AddressCheckData data;
    memset(&data, 0, sizeof data);
    data.text = text;
    data.count = count;
    const int result = Request(NULL, code, 0, &data);
    *kind = data.kind;
    *number = data.number;
    return result;
}

static int TagIo(void* instance, uint32_t code, int32_t station, const char* name, int32_t kind, int32_t number,
                 int32_t blockSize, uint16_t* values) {
    TagIoData data;
    memset(&data, 0, sizeof data);
    data.name = name;
    data.kind = kind;
    data.number = (uint16_t)number;
    data.blockSize = blockSize;
    data.values = values;
    return Request(instance, code, station, &data);
}

static int WriteInitFile(int station, const char* text) {
    char name[32];
    snprintf(name, sizeof name, "KESMZN%02d.int", station);
    FILE* file = fopen(name, "wb");
    if (file == NULL) return 0;
    const int ok = fputs(text, file) >= 0;
    return fclose(file) == 0 && ok;
}

/* How many times text occurs in the driver's log so far. */
static int CountInLog(const char* text) {
    FILE* file = fopen(logPath, "rb");
    if (file == NULL) return 0;
    static char content[4 * 1024 * 1024];
    const size_t length = fread(content, 1, sizeof content - 1, file);
    fclose(file);
    content[length] = '\0';
    int count = 0;
    for (const char* at = strstr(content, text); at != NULL; at = strstr(at + 1, text)) count++;
    return count;
}

/* Waits up to ms for text to occur at least count times in the log. */
static int AwaitLog(const char* text, int count, DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        if (CountInLog(text) >= count) return 1;
        if (GetTickCount64() >= deadline) return 0;
        Sleep(50);
    }
}

/* Waits up to ms for the listener of station to remove its client. */
static int AwaitClientGone(int32_t station, DWORD ms) {
    char name[32];
    snprintf(name, sizeof name, "KesMZN No_%.2d", station);
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        uint8_t id = 0;
        if (ZubFindClient(name, &id) != 0) return 1;
        if (GetTickCount64() >= deadline) return 0;
        Sleep(50);
    }
}

static int StopClient(int32_t station) {
    char name[32];
    snprintf(name, sizeof name, "KesMZN No_%.2d", station);
    uint8_t id = 0;
    return ZubFindClient(name, &id) == 0 && ZubStopClient(id) == 0;
}

/* ---- The cases ------------------------------------------------------------------------------- */

static void DriverInfo(void) {
    const char* name = "driver_info";
    DriverInfoData info;
    memset(&info, 0, sizeof info);
    Check(Request(NULL, KES_REQUEST_DRIVER_INFO, 0, &info) == KES_OK, name, "request 14 returns 0");
    Check(info.instanceSize == 720 && info.baud == 4800 && info.dataBits == 8 && info.stopBits == 0 && info.parity == 0,
          name, "instance size 720 and the defaults 4800 8 0 0");
    const NameRecord* names = (const NameRecord*)info.names;
    Check(names != NULL && strcmp(names->shortName, "MZN - MINTZ ") == 0 &&
              strcmp((const char*)names + 13, "MINTZ - EAGEL system") == 0,
          name, "the name record");
    EndCase(name);
}

static void NullDevice(void) {
    const char* name = "null_device";
    Check(ColdStart(nullBlock, kStationNull, "NUL") == KES_OK, name, "ColdStart on NUL returns 0");
    Check(Request(nullBlock, KES_REQUEST_CLOSE_PORT, kStationNull, NULL) == KES_OK, name, "ClosePort returns 0");
    Check(ColdStart(missingBlock, 5, "COM98") == KES_NOT_AVAILABLE, name, "ColdStart on a missing COM98 returns 2");
    Check(AwaitLog("KesMZN - MINTZ : Fail to open COM98", 1, 2000), name, "the failure to open is logged");
    EndCase(name);
}

static void ZoneRead(void) {
    const char* name = "zone_read";
    Check(ColdStart(panelBlock, kStationPanel, panelPort) == KES_OK, name, "ColdStart returns 0");
    Check(AwaitLog("KesMZN : PassWord is 1234", 1, 2000), name, "the initialization file's password is taken");
    int32_t kind = -1;
    int32_t number = -1;
    Check(CheckAddress("007", KES_REQUEST_CHECK_ADDRESS, 0, &kind, &number) == KES_OK && kind == 2 && number == 7, name,
          "address 007 is zone 7");
    uint16_t values[2] = {0xEEEE, 0xEEEE};
    Check(TagIo(panelBlock, KES_REQUEST_SINGLE_READ, kStationPanel, "zone 007", kind, number, 0, values) == KES_OK,
          name, "SingleRead returns 0");
    Check(values[1] == 1, name, "zone 7 reads 1");
    Check(values[0] == 0xEEEE, name, "the first slot stays untouched");
    EndCase(name);
}

static void ModeWrite(void) {
    const char* name = "mode_write";
    int32_t kind = -1;
    int32_t number = -1;
    Check(CheckAddress("S03", KES_REQUEST_CHECK_ADDRESS, 0, &kind, &number) == KES_OK && kind == 1 && number == 3, name,
          "address S03 is mode 3");
    uint16_t values[2] = {0, 5};
    Check(TagIo(panelBlock, KES_REQUEST_SINGLE_WRITE, kStationPanel, "mode S03", kind, number, 0, values) == KES_OK, name,
          "SingleWrite of 5 returns 0");
    values[1] = 0xEEEE;
    Check(TagIo(panelBlock, KES_REQUEST_SINGLE_READ, kStationPanel, "mode S03", kind, number, 0, values) == KES_OK &&
              values[1] == 5,
          name, "mode 3 reads back 5");
    EndCase(name);
}

static void BlockRead(void) {
    const char* name = "block_read";
    int32_t kind = -1;
    int32_t number = -1;
    uint16_t one[2] = {0, 2};
    Check(TagIo(panelBlock, KES_REQUEST_SINGLE_WRITE, kStationPanel, "zone 007", 2, 7, 0, one) == KES_OK, name,
          "zone 7 set to 2");
    Check(CheckAddress("001", KES_REQUEST_CHECK_BLOCK_ADDRESS, 16, &kind, &number) == KES_OK && kind == 2 && number == 1,
          name, "block address 001");
    uint16_t values[16];
    for (int i = 0; i < 16; i++) values[i] = 0xEEEE;
    Check(TagIo(panelBlock, KES_REQUEST_BLOCK_READ, kStationPanel, "block 001", kind, number, 16, values) == KES_OK, name,
          "BlockRead returns 0");
    int expected = 1;
    for (int i = 0; i < 16; i++) expected = expected && values[i] == (i == 6 ? 2 : 1);
    Check(expected, name, "16 values, zone 7 at 2 and the others at 1");
    uint16_t wrongSize[20];
    Check(TagIo(panelBlock, KES_REQUEST_BLOCK_READ, kStationPanel, "block of 20", kind, number, 20, wrongSize) == KES_FAILED,
          name, "a block of the wrong size fails");
    Check(CountInLog("KesMZN: GetBlock() Please set Block size in Zubrix to: 16") >= 1, name,
          "the size to set is logged");
    EndCase(name);
}

static void CloseReopen(void) {
    const char* name = "close_reopen";
    uint16_t values[2] = {0, 0};
    Check(Request(panelBlock, KES_REQUEST_CLOSE_PORT, kStationPanel, NULL) == KES_OK, name, "ClosePort returns 0");
    Check(Request(panelBlock, KES_REQUEST_CLOSE_PORT, kStationPanel, NULL) == KES_OK, name, "a second ClosePort returns 0");
    Check(TagIo(panelBlock, KES_REQUEST_SINGLE_READ, kStationPanel, "closed zone 007", 2, 7, 0, values) == KES_FAILED, name,
          "a read without port fails");
    Check(Request(panelBlock, KES_REQUEST_REOPEN_PORT, kStationPanel, NULL) == KES_OK, name, "ReopenPort returns 0");
    values[1] = 0xEEEE;
    Check(TagIo(panelBlock, KES_REQUEST_SINGLE_READ, kStationPanel, "zone 007", 2, 7, 0, values) == KES_OK && values[1] == 2,
          name, "after ReopenPort zone 7 reads 2");
    EndCase(name);
}

static void Listener(void) {
    const char* name = "listener";
    Check(ColdStart(eventsBlock, kStationEvents, eventsPort) == KES_OK, name, "ColdStart on the events panel returns 0");
    /* Passes come with the host's messages: a fast tick makes them frequent. */
    ZubSetTickMs(100);
    Check(AwaitLog("SendAck() -> :01", 2, 20000), name, "the listener acknowledges events");
    Check(AwaitLog("KesMZN: CheckCommand(), Unrecognize Command -> 5F", 1, 20000), name,
          "an unrecognised event is logged, not acknowledged");
    Check(CountInLog("SendAck() -> :015F") == 0, name, "no acknowledgement of 5F");
    Check(StopClient(kStationEvents), name, "the host stops the client");
    Check(AwaitClientGone(kStationEvents, 10000), name, "the listener removes its client and ends");
    EndCase(name);
}

static void SilentPanel(void) {
    const char* name = "silent_panel";
    Check(ColdStart(silentBlock, kStationSilent, silentPort) == KES_OK, name, "ColdStart returns 0");
    uint16_t values[2] = {0, 0xEEEE};
    const ULONGLONG start = GetTickCount64();
    Check(TagIo(silentBlock, KES_REQUEST_SINGLE_READ, kStationSilent, "silent zone 007", 2, 7, 0, values) == KES_FAILED,
          name, "SingleRead returns 1");
    const ULONGLONG took = GetTickCount64() - start;
    Check(values[1] == 0xEEEE, name, "the value stays untouched");
    Check(CountInLog("KesMZN: GetPoint() Failed with Command Ack") >= 10, name, "ten attempts failed on the acknowledgement");
    Check(CountInLog("KesMZN: SingleRead() failed. Tag 'silent zone 007'. rc = 1") == 1, name, "one failure line");
    Check(took >= 1500 && took < 30000, name, "ten attempts take their pauses and time-outs, and end");
    EndCase(name);
}

static void ShutDown(void) {
    const char* name = "shut_down";
    Check(Request(panelBlock, KES_REQUEST_SHUT_DOWN, kStationPanel, NULL) == KES_OK, name, "ShutDown returns 0");
    DriverInfoData info;
    memset(&info, 0xEE, sizeof info);
    Check(Request(NULL, KES_REQUEST_DRIVER_INFO, 0, &info) == KES_OK && info.instanceSize == 0xEEEEEEEEu, name,
          "after ShutDown requests return 0 and do nothing");
    /* The host ends the clients; each listener removes its own. */
    const int32_t stations[] = {kStationPanel, kStationSilent, kStationNull};
    for (size_t i = 0; i < sizeof stations / sizeof stations[0]; i++) {
        Check(StopClient(stations[i]), name, "the host stops a client");
        Check(AwaitClientGone(stations[i], 10000), name, "its listener removes it and ends");
    }
    EndCase(name);
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: kesmzn_win_host PANEL EVENTS SILENT LOG\n");
        return 2;
    }
    panelPort = argv[1];
    eventsPort = argv[2];
    silentPort = argv[3];
    logPath = argv[4];
    if (ZubSetLogFile(logPath) != 0) {
        fprintf(stderr, "kesmzn_win_host: cannot open the log %s\n", logPath);
        return 2;
    }
    ZubSetLogMask(ZUB_LEVEL_TRACE | ZUB_LEVEL_EVENT | ZUB_LEVEL_VERSION);
    if (!WriteInitFile(kStationPanel, "PASSWORD=1234\r\nCRC=YES\r\n") ||
        !WriteInitFile(kStationEvents, "PASSWORD=1234\r\n") || !WriteInitFile(kStationSilent, "PASSWORD=1234\r\n")) {
        fprintf(stderr, "kesmzn_win_host: cannot write the initialization files\n");
        return 2;
    }

    /* The driver from this program's own folder, as a host loads it from beside itself. */
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    char* slash = length > 0 && length < sizeof path ? strrchr(path, '\\') : NULL;
    if (slash == NULL || (size_t)(slash - path) + sizeof "\\kesmzn.dll" > sizeof path) return 2;
    strcpy(slash, "\\kesmzn.dll");
    HMODULE driver = LoadLibraryA(path);
    if (driver == NULL) {
        printf("FAILED load: LoadLibrary %s: error %lu\n", path, (unsigned long)GetLastError());
        return 1;
    }
    /* ISO C has no cast from the procedure address to a function pointer of another type: copy it. */
    FARPROC entry = GetProcAddress(driver, "KesMain");
    if (entry == NULL) {
        printf("FAILED load: no KesMain in %s\n", path);
        return 1;
    }
    memcpy(&kesMain, &entry, sizeof kesMain);
    printf("ok load\n");

    DriverInfo();
    NullDevice();
    ZoneRead();
    ModeWrite();
    BlockRead();
    CloseReopen();
    Listener();
    SilentPanel();
    ShutDown();

    if (failures == 0) {
        printf("all cases passed\n");
    } else {
        printf("%d case(s) failed\n", failures);
    }
    return failures == 0 ? 0 : 1;
}
