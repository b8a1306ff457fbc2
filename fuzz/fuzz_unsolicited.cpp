// The panel's spontaneous text: ProcessUnsolicited on the text as it stands, then a whole listener
// pass that collects the same bytes from a port (they trickle in a few at a time) and handles them.
// Input = the text, then the bytes per read (1 byte) at its end. Whatever the text, the only thing written back is a
// run of well-formed acknowledgements of listed codes, at most one per line start.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/instance.h"
#include "memory_port.h"
#include "quiet_log.h"
#include "unsolicited/lines.h"
#include "unsolicited/listener.h"

namespace {

using kesmzn::fuzz::MemoryPort;

alignas(16) unsigned char block[kesmzn::host::kInstanceSize];
kesmzn::host::InstanceData& instance = *reinterpret_cast<kesmzn::host::InstanceData*>(block);
MemoryPort port;

bool Listed(char a, char b) {
    static const char* const codes[] = {"D5", "A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7",
                                        "A8", "27", "AA", "AB", "B4", "BE", "BF", "C0", "C1"};
    for (const char* code : codes)
        if (code[0] == a && code[1] == b) return true;
    return false;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Every write must be ":01", a listed code, its LRC, CR LF; and there are no more of them than ":".
void CheckAcks(const std::string& written, std::size_t colons) {
    if (written.size() % 9 != 0 || written.size() / 9 > colons) std::abort();
    for (std::size_t at = 0; at < written.size(); at += 9) {
        const char* ack = written.data() + at;
        if (std::memcmp(ack, ":01", 3) != 0 || std::memcmp(ack + 7, "\r\n", 2) != 0) std::abort();
        if (!Listed(ack[3], ack[4])) std::abort();
        const int code = HexValue(ack[3]) * 16 + HexValue(ack[4]);
        const int lrc = HexValue(ack[5]) * 16 + HexValue(ack[6]);
        if (lrc != (256 - code) % 256) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kesmzn::fuzz::LogToNowhere();
    kesmzn::host::InitLock(instance.lock);
    if (!kesmzn::fuzz::Open(port)) std::abort();
    instance.port = port.handle;
    instance.timeout = 100;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto perRead = input.ConsumeIntegral<std::uint8_t>();
    const std::string text = input.ConsumeRemainingBytesAsString();
    // As text reaches ProcessUnsolicited: up to its terminator.
    const std::string asText(text.c_str());
    std::size_t colons = 0;
    for (const char c : asText) colons += c == ':' ? 1 : 0;

    port.Reset({}, 1);
    kesmzn::unsolicited::ProcessUnsolicited(instance, asText.c_str());
    CheckAcks(port.written, colons);

    // The pass keeps at most a buffer's worth of what it collects, so only that part's ":" count.
    port.Reset(text, perRead);
    kesmzn::unsolicited::CheckUnsolicetedMessages(instance);
    if (instance.rxBuf[kesmzn::host::kRxBufferSize] != '\0') std::abort();
    std::size_t collectedColons = 0;
    for (const char* c = instance.rxBuf; *c != '\0'; ++c) collectedColons += *c == ':' ? 1 : 0;
    CheckAcks(port.written, collectedColons);
    return 0;
}
