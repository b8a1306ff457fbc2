#include "line_assembler.h"

namespace kesmzn::sim {

void feedBytes(LineAssembler& assembler, std::string_view bytes,
               const std::function<void(std::string_view)>& onLine) {
    for (const char c : bytes) {
        if (assembler.discarding) {
            if (c == '\n') {
                assembler.discarding = false;
                continue;
            }
            if (c != ':') continue;
            assembler.discarding = false;
        }
        assembler.buffer += c;
        if (c == '\n') {
            onLine(assembler.buffer);
            assembler.buffer.clear();
        } else if (assembler.buffer.size() >= kMaxLine) {
            assembler.buffer.clear();
            assembler.discarding = true;
            ++assembler.overlong;
        }
    }
}

std::string_view frameOf(std::string_view line) {
    const std::size_t colon = line.rfind(':');
    if (colon == std::string_view::npos) return {};
    return line.substr(colon);
}

}  // namespace kesmzn::sim
