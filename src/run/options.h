// The command line: the usage text and the keyword options, matched case-sensitively as
// substrings of every argument, in a fixed order, each value at a fixed offset.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "run/control.h"
#include "run/failure.h"

namespace plovanet {

extern const char* const kUsage;

// Applies every keyword found in arg, then prints its echo on con (the GROUPS= and SEED= lines
// come first). Returns the failure for a value that cannot be used; nothing else is touched.
std::optional<Failure> applyArgument(std::string_view arg, Control& ctl, std::FILE* con);

// The keyword an argument that matches none resembles (another case, or one or two letters
// off: "stochastic", "STOCHASTC", "Mark"), for a warning; empty otherwise.
std::optional<std::string_view> resemblingKeyword(std::string_view arg);

// Edits (insert, delete, replace, swap of neighbours) that turn a into b: how far a mistyped
// keyword or setting name is from one the program knows.
std::size_t editDistance(std::string_view a, std::string_view b);

// A GROUPS= or SEED= value in arg that is not a plain whole number (SEED=5.7, GROUPS=2x) but is
// read as one: the warning naming the keyword and the value used. Arguments of newer keywords
// have none.
std::optional<Fault> looseNumber(std::string_view arg);

// What --help prints: the usage text, then the newer keywords in its style and where the manual is.
std::string helpText();

// atol's reading: leading white space, optional sign, digits up to the first other character;
// no digits give 0. Empty when the value does not fit in 32 bits.
std::optional<std::int32_t> parseLong32(std::string_view s);

// A frequency threshold: the whole of s a decimal number (digits, point, exponent), finite and 0
// or more; empty otherwise.
std::optional<double> parseFrequency(std::string_view s);

}  // namespace plovanet
