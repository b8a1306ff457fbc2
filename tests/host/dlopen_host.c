/*
 * A host in plain C that loads the driver the way a real host does: dlopen(), dlsym("KesMain"), the
 * header's records. Compiling it as C also proves that kesmzn.h and zubpro.h are C headers.
 *
 *   dlopen_host DIR zubpro-first|driver-first   err binding: a logging request must reach libzubpro
 *   dlopen_host DIR closing                     after ShutDown every request returns 0 and does nothing
 *
 * Prints "ok" and exits 0 when every check held; otherwise names the failed check and exits 1.
 */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kesmzn.h"
#include "zubpro.h"

typedef int (*KesMainFn)(RequestBlock*);
typedef int (*FindClientFn)(const char*, uint8_t*);

static void* Load(const char* dir, const char* file) {
    char path[4096];
    snprintf(path, sizeof path, "%s/%s", dir, file);
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == NULL) {
        printf("dlopen %s: %s\n", path, dlerror());
        exit(1);
    }
    return handle;
}

static int failures = 0;

static void Expect(int condition, const char* what) {
    if (!condition) {
        printf("failed: %s\n", what);
        failures++;
    }
}

static int Request(KesMainFn kesMain, void* instance, uint32_t code, int32_t station, void* data) {
    RequestBlock request;
    memset(&request, 0, sizeof request);
    request.instance = instance;
    request.code = code;
    request.station = station;
    request.data = data;
    return kesMain(&request);
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const char* dir = argv[1];
    const char* mode = argv[2];
    void* zubpro = NULL;
    void* driver = NULL;
    if (strcmp(mode, "driver-first") == 0) {
        driver = Load(dir, "libkesmzn.so");
        zubpro = Load(dir, "libzubpro.so");
    } else {
        zubpro = Load(dir, "libzubpro.so");
        driver = Load(dir, "libkesmzn.so");
    }
    KesMainFn kesMain = NULL;
    FindClientFn findClient = NULL;
    /* ISO C has no cast from an object pointer to a function pointer: copy the address instead. */
    void* symbol = dlsym(driver, "KesMain");
    memcpy(&kesMain, &symbol, sizeof kesMain);
    symbol = dlsym(zubpro, "ZubFindClient");
    memcpy(&findClient, &symbol, sizeof findClient);
    Expect(kesMain != NULL && findClient != NULL, "entry points found");
    if (kesMain == NULL || findClient == NULL) return 1;

    static unsigned char blockA[720];
    static unsigned char blockB[720];
    uint8_t id = 0;
    ColdStartData coldStart;
    memset(&coldStart, 0, sizeof coldStart);
    strcpy(coldStart.name, "NUL");
    coldStart.enabled = 0;

    if (strcmp(mode, "closing") == 0) {
        Expect(Request(kesMain, blockA, KES_REQUEST_SHUT_DOWN, 1, NULL) == 0, "ShutDown of an instance without port");
        Expect(Request(kesMain, blockB, KES_REQUEST_COLD_START, 43, &coldStart) == 0, "ColdStart returns 0");
        Expect(findClient("KesMZN No_43", &id) != 0, "ColdStart after ShutDown registers no client");
        DriverInfoData info;
        memset(&info, 0xEE, sizeof info);
        Expect(Request(kesMain, NULL, KES_REQUEST_DRIVER_INFO, 0, &info) == 0, "DriverInfo returns 0");
        Expect(info.fixed70 == 0xEEEEEEEEu && info.instanceSize == 0xEEEEEEEEu, "DriverInfo leaves the record unfilled");
        TagIoData tag;
        uint16_t values[2] = {7, 7};
        memset(&tag, 0, sizeof tag);
        tag.kind = 2;
        tag.number = 7;
        tag.values = values;
        Expect(Request(kesMain, blockB, KES_REQUEST_SINGLE_READ, 43, &tag) == 0, "a read returns 0");
        Expect(values[1] == 7, "a read changes nothing");
        Expect(Request(kesMain, blockB, 8, 43, NULL) == 0, "a code without handler returns 0 too");
        Expect(Request(kesMain, blockB, 17, 43, NULL) == 0, "an unknown code returns 0 too");
    } else {
        DriverInfoData info;
        memset(&info, 0, sizeof info);
        Expect(Request(kesMain, NULL, KES_REQUEST_DRIVER_INFO, 0, &info) == 0 && info.instanceSize == 720,
               "DriverInfo through the loaded driver");
        /* ColdStart logs the version line first: with the C library's err() bound instead of
         * libzubpro's, the process would print and exit right here. */
        Expect(Request(kesMain, blockA, KES_REQUEST_COLD_START, 42, &coldStart) == 0, "ColdStart with enabled 0");
        Expect(findClient("KesMZN No_42", &id) == 0, "the client of station 42 is registered");
    }
    if (failures != 0) return 1;
    printf("ok\n");
    return 0;
}
