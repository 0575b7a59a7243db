// The keywords a user may type, in one table: the parser tells the newer keywords by it, the
// near-miss warning compares with it, --help lists it, and a test checks that README.md, the
// manual page and --help document every entry. A keyword added to applyArgument goes here too.
#pragma once

#include <string_view>

namespace plovanet {

// How a keyword is found in an argument: the older ones anywhere in it; those added later only at
// its start (their values, file names among them, are not searched), STRICT only as the whole.
enum class Match { anywhere, start, whole };

struct Keyword {
  std::string_view key;  // as typed, value keywords with their "="
  Match match;
  std::string_view shown;  // --help: the keyword in the usage text's style, for those not in it
  std::string_view help;
};

inline constexpr Keyword kKeywords[] = {
    {"NOPROMPT", Match::anywhere, "NOPROMPT", "accepted; has no effect"},
    {"JOLLY", Match::anywhere, {}, {}},
    {"CAPTURE", Match::anywhere, {}, {}},
    {"MARK", Match::anywhere, {}, {}},
    {"EXP", Match::anywhere, {}, {}},
    {"DETERM", Match::anywhere, "DETERM", "the same as EXP"},
    {"STOCHASTIC", Match::anywhere, {}, {}},
    {"RECRUIT=BINOMIAL", Match::anywhere, {}, {}},
    {"RECRUIT=NORMAL", Match::anywhere, {}, {}},
    {"USEF1", Match::anywhere, {}, {}},
    {"GROUPS=", Match::anywhere, "GROUPS=k", "simulate k groups, one data set each, in one table"},
    {"THETA=TIME", Match::anywhere, {}, {}},
    {"THETA=AGE", Match::anywhere, {}, {}},
    {"IN=", Match::anywhere, {}, {}},
    {"OUT=", Match::anywhere, {}, {}},
    {"SEED=", Match::anywhere, "SEED=n", "seed of the random stream (12345, the default: the clock)"},
    {"REPS=", Match::start, "REPS=r", "simulation study: r replicates, one output file each"},
    {"FIRSTREP=", Match::start, "FIRSTREP=i", "number of the study's first replicate (default 1)"},
    {"RNG=", Match::start, "RNG={CLASSIC|PCG}", "random generator (default CLASSIC; PCG for a study)"},
    {"TRUTH=", Match::start, "TRUTH=filename", "also write the true numbers to a CSV file"},
    {"CSV=", Match::start, "CSV=filename", "also write the capture histories to a CSV file"},
    {"MINFREQ=", Match::start, "MINFREQ=x", "CSV= holds every history above x (default 0.00005)"},
    {"STRICT", Match::whole, "STRICT", "make every warning an error (status 1)"},
    {"CLASSES=", Match::start, "CLASSES=k", "k heterogeneity classes per group, added up"},
};

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
