// The named parameter file: a file whose first word is not a number. It says what each number
// is, one setting per line:
//
//   occasions 5            # first, once; '#' starts a comment
//   entrants  500 100 100 100 100
//   survival  0.8          # one value stands for every entry
//   p 0.3
//   dataset                # the next data set: a copy of the one before
//   p 0.15
//
// A joint live-dead study says so right after occasions (`encounters livedead`, or `encounters
// barker` with live resightings), and gives report and fidelity (and resight, resight_dead,
// return) like any vector.
// A multistate study names its states right after occasions (`states A B`); a per-state setting
// then takes a state's letter before its values (`p B 0.2`, `move A B 0.1`), or none for all.
// Individual animals' settings (`covariate mass normal 20 3`, `effect p mass 0.1`,
// `heterogeneity p 1`) hold for the whole file and stand before the first dataset line.
//
// The whole file is checked when it is opened, before any output file is touched; during the
// run its data sets are read one at a time and given the same echo lines and recruitment
// adjustments as the numeric reader's data sets of the same values.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "engine/state.h"
#include "run/control.h"
#include "run/failure.h"
#include "run/param_reader.h"

namespace plovanet {

// The vectors of a data set, in the numeric format's order, then those of the named format alone.
enum NamedVector {
  kEntrants,
  kSurvival,
  kRetention,
  kP,
  kC,
  kF,
  kSef,
  kEmigrate,
  kRemainOut,
  kReport,
  kFidelity,
  kResight,
  kResightDead,
  kReturn,
  kVectors
};

// Where a file's individual settings stand, for messages.
struct IndividualLines {
  std::vector<std::string> names;         // every covariate line's name as written, in file order
  std::vector<long> covariate, effect;    // the line of each covariate and effect read
  std::array<long, kSigmaRates> sigma{};  // each rate's heterogeneity line; 0: none
  long nodes = 0;
  long firstDataset = 0;  // the first dataset line
};

struct NamedFile {
  bool active = false;  // the parameter file is in the named format
  // What the command line says about the file.
  std::string file;  // its name, for messages
  Recruit recruit = Recruit::none;
  bool usef1 = false;
  std::int64_t mxgrps = 1, classes = 1;
  int nper = 0;                  // occasions; primaries of a robust design
  int K = 0;                     // capture occasions: nper, or the secondaries' sum
  std::vector<int> sec;          // [i-1]: secondaries of primary i; empty unless a robust design
  std::vector<double> interval;  // [i-1]: time from occasion (primary) i to i + 1; empty: all 1
  std::string text;              // the file, from its first word on
  long firstLine = 1;            // line of text[0]
  long occasionsAt = 0;          // line of the occasions setting
  std::size_t body = 0;          // where the first data set begins, and its line
  long bodyLine = 1;
  bool checking = false;        // the check when the file is opened: warnings are noted
  std::vector<Fault> warnings;  // for the run to give, once
  // The check's mistakes, in file order: the first kMistakesShown, and how many more. A vector
  // whose line was refused (bad) is not checked again until a line gives it, nor are a data set's
  // settings as a whole when one of its lines was refused: that would only repeat the mistake.
  std::vector<Fault> mistakes;
  std::int64_t moreMistakes = 0;
  bool bad[kVectors] = {};
  bool badStates = false;     // some per-state line was refused
  bool spreadWarned = false;  // one entrants value for several occasions, said once
  // Where reading stands.
  std::size_t pos = 0;
  long line = 1;
  int sets = 0;               // data sets read
  long nextSetAt = 0;         // line of the dataset line that begins the next data set, 0: none
  bool cGiven = false;        // some data set has set c; until then c is p
  bool given[kVectors] = {};  // set by some data set so far
  std::array<std::vector<double>, kVectors> v;  // the current data set, every entry
  // A multistate study: its states' letters in order (empty otherwise) and the line naming them;
  // the current data set's rates of each state, and what some data set has set for it so far.
  std::string states;
  long statesAt = 0;
  std::vector<StateRates> st;
  std::vector<std::array<bool, kVectors>> stateGiven;
  bool uncertain = false;  // some data set may catch an animal without recording its state
  // A live-dead study (none otherwise), the line that says so, and whether some data set catches
  // a marked animal alive (c above 0 somewhere): without, it is a dead-recovery study.
  Encounters encounters = Encounters::none;
  long encountersAt = 0;
  bool recaptures = false;
  // Individual animals: read once, while the file is checked (reading the data sets for the run
  // passes over their lines).
  Individuals indiv;
  IndividualLines indivLines;
};

// Mistakes of a named file shown in one run; the rest are counted.
inline constexpr std::size_t kMistakesShown = 20;

// Whether the file's first word (not yet read; a byte-order mark skipped) puts it in the named
// format.
bool namedFormat(ParamReader& in);

// Reads the rest of the file and checks every data set; sets nf.nper. in has read white space
// and a byte-order mark only. A fault in the data sets carries every further mistake found, up
// to kMistakesShown in all. recruit, usef1, mxgrps and classes come from the command line.
std::optional<Fault> openNamed(NamedFile& nf, ParamReader& in);

// The next data set as read (previous gives what the file leaves unset), as readDataSet does
// for a numeric file. Empty when the file holds no further data set.
std::optional<DataSet> readNamedDataSet(NamedFile& nf, const DataSet& previous);

}  // namespace plovanet
