// The keywords a user may type, in one table (kKeywords, defined in options.cpp beside what its
// rows do): the parser applies each row, the near-miss warning compares with it, --help lists
// it, and a test checks that README.md, the manual page and --help document every entry. A new
// keyword is one more row.
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

#include "run/control.h"
#include "run/failure.h"

namespace plovanet {

// How a keyword is found in an argument: the older ones anywhere in it; those added later only at
// its start (their values, file names among them, are not searched), STRICT only as the whole.
enum class Match { anywhere, start, whole };

// What a keyword does to the settings. value: the argument from the keyword's length on, wherever
// in it the keyword was found (an older keyword's value is read at that fixed offset from the
// argument's start, not from the keyword). con takes the echo lines of GROUPS= and SEED=.
// Returns the failure for a value it refuses.
using Apply = std::optional<Failure> (*)(std::string_view value, Control& ctl, std::FILE* con);

struct Keyword {
  std::string_view key;  // as typed, value keywords with their "="
  Match match;
  Apply apply;             // null: accepted, with no effect
  bool looseNumber;        // its value is read up to the first character that is not a digit, with a warning
  std::string_view shown;  // --help: the keyword in the usage text's style, for those not in it
  std::string_view help;
};

// Every keyword, in the order the parser applies them.
extern const std::span<const Keyword> kKeywords;

// True when arg holds keyword k where k is looked for.
inline bool matches(const Keyword& k, std::string_view arg) {
  switch (k.match) {
    case Match::anywhere:
      return arg.find(k.key) != std::string_view::npos;
    case Match::start:
      return arg.starts_with(k.key);
    case Match::whole:
      return arg == k.key;
  }
  return false;
}

}  // namespace plovanet
