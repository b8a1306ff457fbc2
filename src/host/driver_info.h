// What the driver information request hands to the host: the name record and the banner.
#pragma once

#include "kesmzn.h"

namespace kesmzn::host {

extern const NameRecord kNameRecord;

// The banner: five lines of code page 437 box drawing, 61 columns wide, a line feed before them.
extern const char* const kBanner;

}  // namespace kesmzn::host
