// The command line: the usage text and the keyword options, matched case-sensitively as
// substrings of every argument, in a fixed order, each value at a fixed offset.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "run/control.h"

namespace plovanet {

extern const char* const kUsage;

// Applies every keyword found in arg, then its echo. Console lines (the GROUPS= and SEED= lines
// and the echo) are appended to con. Returns the error line for a value that cannot be used.
std::optional<std::string> applyArgument(std::string_view arg, Control& ctl, RunState& rs, std::string& con);

// atol's reading: leading white space, optional sign, digits up to the first other character;
// no digits give 0. Empty when the value does not fit in 32 bits.
std::optional<std::int32_t> parseLong32(std::string_view s);

}  // namespace plovanet
