/*
 * kesmzn.h - binding interface of the KesMZN driver for the "MINTZ - EAGEL system" panel.
 *
 * A host loads the driver, asks for the driver information (request 14), allocates an instance
 * block of the announced size per port and passes every request through KesMain().
 *
 * The records below are the host's and their layout is binding. They use fixed-width fields with
 * natural alignment and no packing; every gap the driver never reads is an explicit reserved field,
 * so the offsets can be read off the declaration. On a 32-bit host the offsets are those of the
 * original host; on a 64-bit host the fields keep their order (the static_asserts at the end check
 * both). Plain C: a C or a C++ host includes this header.
 */
#ifndef KESMZN_H
#define KESMZN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The calling convention of KesMain, in one place. On 32-bit Windows it is __cdecl, the C default:
 * the host finds the entry point by its plain name "KesMain" (a C name without the @4 of __stdcall)
 * and passes one pointer. Every other target has one convention. */
#ifndef KESMZN_CALL
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define KESMZN_CALL __cdecl
#else
#define KESMZN_CALL
#endif
#endif

/* On Windows the module-definition file kesmzn.def names the export, so a host that includes this
 * header declares nothing as exported or imported by itself. */
#if defined(_WIN32)
#define KESMZN_EXPORT
#elif defined(__GNUC__)
#define KESMZN_EXPORT __attribute__((visibility("default")))
#else
#define KESMZN_EXPORT
#endif

/* Gaps that exist only where pointers are 8 bytes wide. */
#if UINTPTR_MAX > 0xFFFFFFFFu
#define KESMZN_POINTER_64 1
#else
#define KESMZN_POINTER_64 0
#endif

enum KesRequestCode {
    KES_REQUEST_COLD_START = 1,
    KES_REQUEST_FLUSH_PORT = 2,
    KES_REQUEST_CHECK_ADDRESS = 3,
    KES_REQUEST_CHECK_BLOCK_ADDRESS = 4,
    KES_REQUEST_SINGLE_READ = 5,
    KES_REQUEST_BLOCK_READ = 6,
    KES_REQUEST_SINGLE_WRITE = 7,
    KES_REQUEST_UNSUPPORTED_IO = 10,
    KES_REQUEST_SHUT_DOWN = 11,
    KES_REQUEST_CLOSE_PORT = 12,
    KES_REQUEST_REOPEN_PORT = 13,
    KES_REQUEST_DRIVER_INFO = 14,
    KES_REQUEST_CHANGE_PORT = 15
};

/* Results of the requests. */
enum KesResult {
    KES_OK = 0,
    KES_FAILED = 1,
    KES_NOT_AVAILABLE = 2
};

/* Passed on every call. The instance block is the host's, of the size that request 14 announces. */
typedef struct RequestBlock {
    void* instance;
    uint32_t code;
    int32_t station;   /* two decimal digits in the client name and the initialization file name */
    uintptr_t reserved;
    void* data;        /* the request's own record, below */
} RequestBlock;

/* Request 14. */
typedef struct DriverInfoData {
    uint32_t fixed70;
#if KESMZN_POINTER_64
    uint32_t reserved0;
#endif
    const void* names;      /* NameRecord */
    const char* banner;     /* code page 437 box drawing */
    uint32_t instanceSize;  /* bytes the host allocates per instance */
    uint32_t fixed4;
    uint16_t baud;          /* default port settings, in PortParams order */
    uint16_t dataBits;
    uint16_t stopBits;      /* 0 one, 1 one and a half, 2 two */
    uint16_t parity;        /* 0 none, 1 odd, 2 even, 3 mark, 4 space */
    uint32_t fixed1;
#if KESMZN_POINTER_64
    uint32_t reserved1;
#endif
} DriverInfoData;

/* What the names pointer of DriverInfoData points at: two texts back to back. */
typedef struct NameRecord {
    char shortName[13];  /* "MZN - MINTZ " */
    char title[21];      /* "MINTZ - EAGEL system" */
} NameRecord;

/* Request 1. */
typedef struct ColdStartData {
    char name[12];     /* port name, at most 11 characters */
    int32_t enabled;   /* 0: register the host client only */
    int32_t timeout;   /* normal read time-out, 10 ms units */
    uint16_t baud;
    uint16_t dataBits;
    uint16_t stopBits;
    uint16_t parity;
} ColdStartData;

/* Request 15. */
typedef struct ChangePortData {
    char name[16];     /* new port name, at most 11 characters */
    uint16_t baud;     /* 0: keep the current speed and framing */
    uint16_t dataBits;
    uint16_t stopBits;
    uint16_t parity;
} ChangePortData;

/* Requests 3 and 4. */
typedef struct AddressCheckData {
    const char* text;
    uint32_t reserved0[2];
    int32_t count;        /* request 4: number of values of the block tag */
    int32_t outZero;      /* set to 0 */
    int32_t kind;         /* 0 mode (S), 1 numbered mode, 2 zone */
    int32_t number;
    int32_t outMaxValue;  /* set to 255 */
    int32_t outSlotBits;  /* set to 16 */
} AddressCheckData;

/* Requests 5, 6 and 7. */
typedef struct TagIoData {
    const char* name;     /* used in failure messages only */
    uint32_t reserved0[2];
    int32_t kind;
    uint16_t number;
    uint16_t reserved1;
    uint32_t reserved2[3];
    int32_t blockSize;
    uintptr_t reserved3;
    uint16_t* values;     /* single reads and writes use values[1]; block reads fill from values[0] */
} TagIoData;

KESMZN_EXPORT int KESMZN_CALL KesMain(RequestBlock* request);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The layout is binding: check it wherever this header is compiled. */
#if defined(__cplusplus)
#include <cstddef>
#define KESMZN_LAYOUT_ASSERT(condition, message) static_assert(condition, message)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#include <stddef.h>
#define KESMZN_LAYOUT_ASSERT(condition, message) _Static_assert(condition, message)
#endif

#ifdef KESMZN_LAYOUT_ASSERT
#if KESMZN_POINTER_64
KESMZN_LAYOUT_ASSERT(offsetof(RequestBlock, instance) == 0, "RequestBlock.instance");
KESMZN_LAYOUT_ASSERT(offsetof(RequestBlock, code) == 8, "RequestBlock.code");
KESMZN_LAYOUT_ASSERT(offsetof(RequestBlock, station) == 12, "RequestBlock.station");
KESMZN_LAYOUT_ASSERT(offsetof(RequestBlock, reserved) == 16, "RequestBlock.reserved");
KESMZN_LAYOUT_ASSERT(offsetof(RequestBlock, data) == 24, "RequestBlock.data");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, fixed70) == 0, "DriverInfoData.fixed70");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, names) == 8, "DriverInfoData.names");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, banner) == 16, "DriverInfoData.banner");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, instanceSize) == 24, "DriverInfoData.instanceSize");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, fixed4) == 28, "DriverInfoData.fixed4");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, baud) == 32, "DriverInfoData.baud");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, dataBits) == 34, "DriverInfoData.dataBits");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, stopBits) == 36, "DriverInfoData.stopBits");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, parity) == 38, "DriverInfoData.parity");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, fixed1) == 40, "DriverInfoData.fixed1");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, text) == 0, "AddressCheckData.text");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, count) == 16, "AddressCheckData.count");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, outZero) == 20, "AddressCheckData.outZero");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, kind) == 24, "AddressCheckData.kind");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, number) == 28, "AddressCheckData.number");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, outMaxValue) == 32, "AddressCheckData.outMaxValue");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, outSlotBits) == 36, "AddressCheckData.outSlotBits");
KESMZN_LAYOUT_ASSERT(offsetof(TagIoData, name) == 0, "TagIoData.name");
KESMZN_LAYOUT_ASSERT(offsetof(TagIoData, kind) == 16, "TagIoData.kind");
KESMZN_LAYOUT_ASSERT(offsetof(TagIoData, number) == 20, "TagIoData.number");
KESMZN_LAYOUT_ASSERT(offsetof(TagIoData, blockSize) == 36, "TagIoData.blockSize");
KESMZN_LAYOUT_ASSERT(offsetof(TagIoData, values) == 48, "TagIoData.values");
#elif UINTPTR_MAX == 0xFFFFFFFFu
KESMZN_LAYOUT_ASSERT(offsetof(RequestBlock, instance) == 0, "RequestBlock.instance");
KESMZN_LAYOUT_ASSERT(offsetof(RequestBlock, code) == 4, "RequestBlock.code");
KESMZN_LAYOUT_ASSERT(offsetof(RequestBlock, station) == 8, "RequestBlock.station");
KESMZN_LAYOUT_ASSERT(offsetof(RequestBlock, reserved) == 12, "RequestBlock.reserved");
KESMZN_LAYOUT_ASSERT(offsetof(RequestBlock, data) == 16, "RequestBlock.data");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, fixed70) == 0, "DriverInfoData.fixed70");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, names) == 4, "DriverInfoData.names");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, banner) == 8, "DriverInfoData.banner");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, instanceSize) == 12, "DriverInfoData.instanceSize");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, fixed4) == 16, "DriverInfoData.fixed4");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, baud) == 20, "DriverInfoData.baud");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, dataBits) == 22, "DriverInfoData.dataBits");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, stopBits) == 24, "DriverInfoData.stopBits");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, parity) == 26, "DriverInfoData.parity");
KESMZN_LAYOUT_ASSERT(offsetof(DriverInfoData, fixed1) == 28, "DriverInfoData.fixed1");
KESMZN_LAYOUT_ASSERT(sizeof(DriverInfoData) == 32, "DriverInfoData size");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, text) == 0, "AddressCheckData.text");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, count) == 12, "AddressCheckData.count");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, outZero) == 16, "AddressCheckData.outZero");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, kind) == 20, "AddressCheckData.kind");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, number) == 24, "AddressCheckData.number");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, outMaxValue) == 28, "AddressCheckData.outMaxValue");
KESMZN_LAYOUT_ASSERT(offsetof(AddressCheckData, outSlotBits) == 32, "AddressCheckData.outSlotBits");
KESMZN_LAYOUT_ASSERT(offsetof(TagIoData, name) == 0, "TagIoData.name");
KESMZN_LAYOUT_ASSERT(offsetof(TagIoData, kind) == 12, "TagIoData.kind");
KESMZN_LAYOUT_ASSERT(offsetof(TagIoData, number) == 16, "TagIoData.number");
KESMZN_LAYOUT_ASSERT(offsetof(TagIoData, blockSize) == 32, "TagIoData.blockSize");
KESMZN_LAYOUT_ASSERT(offsetof(TagIoData, values) == 40, "TagIoData.values");
#endif
/* No pointers: the same offsets everywhere. */
KESMZN_LAYOUT_ASSERT(offsetof(ColdStartData, enabled) == 12, "ColdStartData.enabled");
KESMZN_LAYOUT_ASSERT(offsetof(ColdStartData, timeout) == 16, "ColdStartData.timeout");
KESMZN_LAYOUT_ASSERT(offsetof(ColdStartData, baud) == 20, "ColdStartData.baud");
KESMZN_LAYOUT_ASSERT(offsetof(ColdStartData, dataBits) == 22, "ColdStartData.dataBits");
KESMZN_LAYOUT_ASSERT(offsetof(ColdStartData, stopBits) == 24, "ColdStartData.stopBits");
KESMZN_LAYOUT_ASSERT(offsetof(ColdStartData, parity) == 26, "ColdStartData.parity");
KESMZN_LAYOUT_ASSERT(sizeof(ColdStartData) == 28, "ColdStartData size");
KESMZN_LAYOUT_ASSERT(offsetof(ChangePortData, baud) == 16, "ChangePortData.baud");
KESMZN_LAYOUT_ASSERT(offsetof(ChangePortData, dataBits) == 18, "ChangePortData.dataBits");
KESMZN_LAYOUT_ASSERT(offsetof(ChangePortData, stopBits) == 20, "ChangePortData.stopBits");
KESMZN_LAYOUT_ASSERT(offsetof(ChangePortData, parity) == 22, "ChangePortData.parity");
KESMZN_LAYOUT_ASSERT(sizeof(ChangePortData) == 24, "ChangePortData size");
KESMZN_LAYOUT_ASSERT(offsetof(NameRecord, title) == 13, "NameRecord.title");
#undef KESMZN_LAYOUT_ASSERT
#endif

#endif /* KESMZN_H */
