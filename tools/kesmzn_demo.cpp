// A small host: loads build/libkesmzn.so with dlopen() as a real host does, prints the driver
// information and checks a few tag addresses through KesMain.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "kesmzn.h"

namespace {

using KesMainFn = int (*)(RequestBlock*);

// The banner is drawn in code page 437; a terminal today expects UTF-8.
std::string Cp437ToUtf8(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        switch (static_cast<unsigned char>(*p)) {
            case 0xC9: out += "\u2554"; break;
            case 0xCD: out += "\u2550"; break;
            case 0xBB: out += "\u2557"; break;
            case 0xBA: out += "\u2551"; break;
            case 0xC8: out += "\u255A"; break;
            case 0xBC: out += "\u255D"; break;
            case 0xDB: out += "\u2588"; break;
            case 0xB2: out += "\u2593"; break;
            case 0xB1: out += "\u2592"; break;
            case 0xB0: out += "\u2591"; break;
            default: out += *p;
        }
    }
    return out;
}

std::filesystem::path DriverPath() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "libkesmzn.so";
}

}  // namespace

int main() {
    const std::string driverPath = DriverPath().string();
    void* driver = dlopen(driverPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (driver == nullptr) {
        std::fprintf(stderr, "kesmzn-demo: cannot load %s: %s\n", driverPath.c_str(), dlerror());
        return 1;
    }
    auto kesMain = reinterpret_cast<KesMainFn>(dlsym(driver, "KesMain"));
    if (kesMain == nullptr) {
        std::fprintf(stderr, "kesmzn-demo: %s exports no KesMain\n", driverPath.c_str());
        return 1;
    }

    DriverInfoData info{};
    RequestBlock request{};
    request.code = KES_REQUEST_DRIVER_INFO;
    request.data = &info;
    kesMain(&request);
    const auto* names = static_cast<const NameRecord*>(info.names);
    std::printf("driver        %s\n", driverPath.c_str());
    std::printf("names         \"%s\" \"%s\"\n", names->shortName, names->title);
    std::printf("instance size %u bytes\n", info.instanceSize);
    std::printf("port defaults %u baud, %u data bits, stop-bits code %u, parity code %u\n", info.baud, info.dataBits,
                info.stopBits, info.parity);
    std::printf("%s\n", Cp437ToUtf8(info.banner).c_str());

    std::printf("address checks (request 3; request 4 for block tags):\n");
    struct Check {
        const char* text;
        std::uint32_t code;
        int count;
    } checks[] = {{"S", 3, 0}, {"S07", 3, 0}, {"S7", 3, 0},    {"s19", 3, 0},    {"S20", 3, 0},     {"007", 3, 0},
                  {"0071", 3, 0}, {"001", 4, 16}, {"001", 4, 257}, {"002", 4, 16}};
    static const char* const kKinds[] = {"mode of the tag", "numbered mode", "zone"};
    for (const auto& check : checks) {
        AddressCheckData data{};
        data.text = check.text;
        data.count = check.count;
        data.kind = -1;
        request.code = check.code;
        request.data = &data;
        const int result = kesMain(&request);
        std::printf("  %-6s %-8s -> %s", check.text, check.code == 4 ? ("block " + std::to_string(check.count)).c_str() : "single",
                    result == 0 ? "valid" : "invalid");
        if (data.kind >= 0 && data.kind <= 2) std::printf(" (kind %d: %s, number %d)", data.kind, kKinds[data.kind], data.number);
        std::printf("\n");
    }
    dlclose(driver);
    return 0;
}
