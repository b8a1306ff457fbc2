// Tag addresses: the host checks each tag's address text once and keeps the kind and number the
// driver returns, handing them back in every read and write of the tag.
#pragma once

#include <cstddef>

#include "kesmzn.h"

namespace kesmzn::tags {

enum AddressKind : int {
    kModeOfTag = 0,     // "S": the mode whose number the host keeps for the tag
    kNumberedMode = 1,  // S1 to S19
    kZone = 2,          // 001 to 999
};

inline constexpr std::size_t kAddressWidth = 8;
inline constexpr int kMaxBlockValues = 256;

// Eight character sets, one per position of a normalized address.
using AddressPattern = const char* const[kAddressWidth];

// Upper-cases the text with ToUpperChar and pads it with blanks to eight characters. False, with the
// output blank-filled, when the text is longer than eight characters.
bool NormalizeAddress(const char* text, char (&normalized)[kAddressWidth + 1]);

bool MatchPattern(const char (&normalized)[kAddressWidth + 1], const AddressPattern& pattern);

int CheckAddress(RequestBlock* request);       // request 3: 0 valid, 1 invalid
int CheckBlockAddress(RequestBlock* request);  // request 4: 0 valid, 1 invalid

}  // namespace kesmzn::tags
