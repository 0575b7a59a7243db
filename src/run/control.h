// The settings the command line fixes: read once, then constant for the whole run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/state.h"
#include "engine/stream.h"
#include "output/records.h"

namespace plovanet {

inline constexpr std::size_t kMaxName = 511;  // longest IN= / OUT= name accepted

// SEED= this value (the default) seeds the run from the clock.
inline constexpr std::int32_t kClockSeed = 12345;

// RECRUIT=: how the entrants after the first occasion are drawn from those alive.
enum class Recruit { none, binomial, normal };

struct Control {
  std::string infile = "plovanet.txt";
  std::string outfile = "plovanet.out";
  Layouts lay;            // jollyflg, captflg, markflg
  bool determ = true;     // EXP (the default): expected values; STOCHASTIC: one realisation
  bool thetaflg = false;  // THETA=TIME: tag retention by interval instead of by the tag's age
  int mxgrps = 1;         // GROUPS=
  Recruit recruit = Recruit::none;
  bool usef1 = false;  // f[0] as read instead of derived from n[1] / n[0]
  std::int32_t seed = kClockSeed;
  // A study of several replicates (REPS=, FIRSTREP=): replicates firstrep .. firstrep + reps - 1,
  // each written to its own output file.
  bool replicates = false;
  std::int64_t reps = 1, firstrep = 1;
  // RNG=; a study (REPS= or FIRSTREP=) without it draws from PCG32, a single run from the
  // classic generator.
  StreamKind rng = StreamKind::classic;
  bool rngGiven = false;
  std::string truthfile, csvfile;  // TRUTH=, CSV=; empty when not asked for
  bool strict = false;             // STRICT: every warning is an error
  // Where warnings go: standard error for the command line, R warnings for the R binding; none
  // when empty.
  std::function<void(const std::string&)> keepWarning;
  std::int64_t classes = 1;     // CLASSES=: data sets (heterogeneity classes) per group
  double minfreq = kThreshold;  // MINFREQ=: CSV= holds the histories above this frequency
  // The output file's threshold in expected-value mode: MINFREQ= lowers it, so that a planner
  // can write a complete MARK file, but never raises it above the layouts' own.
  double outfreq = kThreshold;
  bool individual = false;  // INDIVIDUAL: one row per career of a caught animal (stochastic runs)
  std::string animalsfile;  // ANIMALS=: every animal that entered, as a CSV file; empty: none
};

// Where a data set goes. Data set index (from 0) is class index % classes of group
// index / classes, both from 0; with one group (mxgrps 1) every data set is in group 0, and
// index / classes is then its record block.
struct Place {
  std::int64_t group, cls;
};
inline Place placeOf(std::int64_t index, std::int64_t mxgrps, std::int64_t classes) {
  return {mxgrps != 1 ? index / classes : 0, index % classes};
}

}  // namespace plovanet
