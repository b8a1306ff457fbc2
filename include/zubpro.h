/*
 * zubpro.h - host services: the logger and the message-client facility that a host lends to the
 * drivers it loads, and the controls a host uses to steer them.
 *
 * libzubpro gives its symbols their own version (ZUBPRO_1), so a driver linked against it binds its
 * err() to this library and never to the C library's err(3), which would print and exit the process.
 * Never include <err.h> beside this header.
 */
#ifndef ZUBPRO_H
#define ZUBPRO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* On Windows zubpro.dll exports what its module-definition file zubpro.def lists, by plain name and
 * __cdecl (err takes variable arguments); callers link its import library. */
#if defined(_WIN32) && defined(__GNUC__)
#define ZUBPRO_API
#define ZUBPRO_PRINTF(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#elif defined(__GNUC__)
#define ZUBPRO_API __attribute__((visibility("default")))
#define ZUBPRO_PRINTF(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#else
#define ZUBPRO_API
#define ZUBPRO_PRINTF(format_index, first_arg)
#endif

/* Log levels the driver uses. */
enum ZubLogLevel {
    ZUB_LEVEL_TRACE = 8,    /* every frame sent and line received */
    ZUB_LEVEL_EVENT = 32,   /* events and faults */
    ZUB_LEVEL_VERSION = 64  /* the cold-start version line */
};

/* Size of the message area that ZubWaitMsg fills. */
#define ZUB_MESSAGE_SIZE 24

/* Longest client name accepted, in characters. */
#define ZUB_CLIENT_NAME_MAX 63

/* ---- Services the driver calls ---------------------------------------------------------------- */

/* Writes one line when level & mask is non-zero: "HH:MM:SS.mmm [level] text" (local time), control
 * characters, DEL and bytes from 0x80 of the text escaped (\r, \n, \t, \xNN) so a received frame stays
 * on one line. The whole text is written however long, with one write, so lines of several threads
 * never interleave. */
ZUBPRO_API void err(int level, const char* format, ...) ZUBPRO_PRINTF(2, 3);

/* Registers a client and fills its one-byte id (1..255; handed out in turn, so a removed id is not
 * reused at once). kind and flags are accepted and ignored. 0: created; 1: name or id NULL, name empty
 * or longer than ZUB_CLIENT_NAME_MAX; 2: a client of that name exists already; 3: no id is free;
 * 4: out of memory. The id is left alone on failure. */
ZUBPRO_API int16_t ZubMkClient(const char* name, int kind, int flags, uint8_t* id);

/* Blocks until a message is delivered to the client (non-zero) or the client is told to stop or is
 * removed (0; also at once for an unknown id). Stop takes priority over a pending message. On delivery
 * the area (may be NULL) receives ZUB_MESSAGE_SIZE zero bytes. kind is accepted and ignored. */
ZUBPRO_API int16_t ZubWaitMsg(uint8_t id, void* area, int kind);

/* Removes the client and frees its name; a thread waiting for it gets 0. Unknown ids are ignored. */
ZUBPRO_API void ZubRmClient(uint8_t id);

/* ---- Controls for hosts ------------------------------------------------------------------------ */

/* Sends the log to a file (created if missing, appended to), or to standard error for NULL. 0 on
 * success; -1 when the file cannot be opened (the log stays where it was). The default comes from the
 * environment variable ZUBPRO_LOG, read at first use. */
ZUBPRO_API int ZubSetLogFile(const char* path);

/* Levels to log: a line is written when level & mask is non-zero. Default from ZUBPRO_LOG_MASK (decimal
 * or 0x hexadecimal, read at first use), else 96 (events and the version line); 104 adds the exchange
 * trace. */
ZUBPRO_API void ZubSetLogMask(uint32_t mask);
ZUBPRO_API uint32_t ZubGetLogMask(void);

/* Every client gets one message every ms milliseconds; 0: none. Default from ZUBPRO_TICK_MS, else 500.
 * A change applies at once: every client's next tick comes ms after the call. */
ZUBPRO_API void ZubSetTickMs(uint32_t ms);

/* Delivers one message to the client now. 0 when the client exists. A client holds at most one
 * pending message; messages do not pile up. */
ZUBPRO_API int ZubPostMsg(uint8_t id);

/* Tells the client to stop: its ZubWaitMsg returns 0 from then on. The client stays registered (and
 * found by ZubFindClient) until ZubRmClient. 0 when the client exists. */
ZUBPRO_API int ZubStopClient(uint8_t id);

/* 0 and the id when a client of that name exists. */
ZUBPRO_API int ZubFindClient(const char* name, uint8_t* id);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ZUBPRO_H */
