#include "address_text.h"

#include <cctype>
#include <cstdio>
#include <string>


namespace kesmzn::tool {
namespace {

constexpr std::size_t kAddressWidth = 8;
constexpr int kMaxBlockValues = 256;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The driver's form: upper case, blanks up to eight characters.
std::string Normalized(const std::string& text) {
    std::string form = text;
    for (char& c : form) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    form.resize(kAddressWidth, ' ');
    return form;
}

bool BlankFrom(const std::string& form, std::size_t from) {
    return form.find_first_not_of(' ', from) == std::string::npos;
}

std::string ExplainMode(const std::string& form) {
    static constexpr char kForm[] = "a mode is S followed by two digits: S01 to S19";
    if (!BlankFrom(form, 3)) return kForm;
    if (form[1] == ' ') return {};  // S alone, or S and a blank: the mode the host keeps for the tag
    if (!IsDigit(form[1]) || (!IsDigit(form[2]) && form[2] != ' ')) return kForm;
    if (form[2] == ' ') {
        if (form[1] == '0') return "the mode number is 0: modes are 1 to 19";
        // The driver takes one digit only as 0 or 1, the first of two: S5 must be written S05.
        if (form[1] != '1') return std::string("a one-digit mode needs its leading zero: S0") + form[1];
        return {};
    }
    const int number = (form[1] - '0') * 10 + (form[2] - '0');
    if (number < 1 || number > 19) return "the mode number is " + std::to_string(number) + ": modes are 1 to 19";
    return {};
}

std::string ExplainZone(const std::string& text, const std::string& form) {
    std::size_t digits = 0;
    while (digits < form.size() && IsDigit(form[digits])) ++digits;
    if (digits == 3 && BlankFrom(form, 3)) return {};
    if (BlankFrom(form, digits) && digits > 0) {
        char example[8];
        std::snprintf(example, sizeof example, "%03d", std::stoi(text.substr(0, digits)) % 1000);
        return "a zone is exactly three digits: " + std::string(example) + ", not " + text;
    }
    return "an address is S, S01 to S19, or a zone of three digits, 000 to 999";
}

}  // namespace

std::string KindName(int kind) {
    switch (kind) {
        case kKindModeOfTag: return "mode of the tag";
        case kKindMode: return "mode";
        case kKindZone: return "zone";
        default: return "none";
    }
}

std::string ExplainRejection(const std::string& text, std::optional<int> blockCount) {
    if (text.empty()) return "the address is empty";
    if (text.size() > kAddressWidth) return "an address has at most eight characters";
    const std::string form = Normalized(text);
    std::string reason = form[0] == 'S' ? ExplainMode(form) : ExplainZone(text, form);
    if (!reason.empty() || !blockCount) return reason;
    if (*blockCount < 1 || *blockCount > kMaxBlockValues) return "a block holds 1 to 256 zones";
    if (form.substr(0, 3) != "001") return "a block tag is the zone address 001 (all zones from the first)";
    return {};
}

std::string ExplainBadValue(const Tag& tag, long value) {
    if (tag.kind == kKindZone && value != 1 && value != 2) return "a zone takes the state 1 or 2";
    if (tag.kind != kKindZone && (value < 0 || value > 9)) return "a mode is written as one digit, 0 to 9";
    return {};
}

}  // namespace kesmzn::tool
