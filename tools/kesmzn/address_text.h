// Tag addresses for the user: the driver decides (requests 3 and 4); these words say why it refused,
// by the rules it applies.
#pragma once

#include <optional>
#include <string>

#include "instance.h"

namespace kesmzn::tool {

// "mode of the tag", "mode", "zone"
std::string KindName(int kind);

// Why the driver refuses the address (with a block count: as a block tag). Empty when these rules see
// nothing wrong.
std::string ExplainRejection(const std::string& text, std::optional<int> blockCount);

// Why a value cannot be written to the tag (zones take 1 or 2, modes one digit); empty when it can.
std::string ExplainBadValue(const Tag& tag, long value);

}  // namespace kesmzn::tool
