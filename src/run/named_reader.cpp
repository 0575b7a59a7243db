#include "run/named_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "run/named_individuals.h"
#include "run/named_settings.h"
#include "run/named_states.h"

namespace plovanet {

using namespace named;

namespace {

void restart(NamedFile& nf) {
  nf.pos = nf.body;
  nf.line = nf.bodyLine;
  nf.sets = 0;
  nf.nextSetAt = 0;
  nf.cGiven = false;
  std::fill(std::begin(nf.given), std::end(nf.given), false);
  for (const Setting& s : kSettings) {
    if (s.slot < kVectors) nf.v[static_cast<std::size_t>(s.slot)].assign(needed(nf, s.len), 0.0);
  }
  std::fill(nf.v[kRetention].begin(), nf.v[kRetention].end(), 1.0);  // no tag loss
  std::fill(nf.v[kFidelity].begin(), nf.v[kFidelity].end(), 1.0);    // no one leaves for good
  nf.st.assign(nf.states.size(), blankStateRates(nf.K, nf.states.size()));
  nf.stateGiven.assign(nf.states.size(), {});
}

// Where a data set's lines stand: the line it begins on, the line of each setting it gives, and
// its group and class as written.
struct SetLines {
  long start = 0;
  bool refused = false;  // a line of it was refused
  long at[kSlots] = {};  // 0: not given in this data set
  std::string label[2];
  long lineOf(int slot) const { return at[slot] != 0 ? at[slot] : start; }
  StateLines states;  // a multistate study's per-state settings
};

// A setting refused where it stands: occasions or secondaries again, a robust design's setting
// without one, a live-dead study's without encounters (or a resighting one without barker), a
// setting the data set gave before.
std::optional<Fault> misplaced(const NamedFile& nf, const Line& ln, const Setting& s, int set,
                               const SetLines& lines) {
  const std::string_view word = ln.words[0];
  if (s.slot == kOccasions) return Fault::namedOccasionsAgain(nf.file, ln.number, nf.occasionsAt);
  if (s.slot == kSecondaries) return Fault::namedSecondariesPlace(nf.file, ln.number);
  if (s.slot == kInterval) return Fault::namedIntervalPlace(nf.file, ln.number);
  if ((s.slot == kEmigrate || s.slot == kRemainOut) && nf.sec.empty())
    return Fault::namedNotRobust(nf.file, ln.number, std::string(word));
  if (s.slot == kStates) return Fault::namedStatesPlace(nf.file, ln.number);
  if ((s.slot == kObserve || s.slot == kMove) && nf.states.empty())
    return Fault::namedNotMultistate(nf.file, ln.number, std::string(word));
  if (s.slot == kEncounters) return Fault::namedEncountersPlace(nf.file, ln.number);
  const bool resighting = s.slot == kResight || s.slot == kResightDead || s.slot == kReturn;
  if ((resighting || s.slot == kReport || s.slot == kFidelity) && nf.encounters == Encounters::none)
    return Fault::namedNotLiveDead(nf.file, ln.number, std::string(word), false);
  if (resighting && nf.encounters != Encounters::barker)
    return Fault::namedNotLiveDead(nf.file, ln.number, std::string(word), true);
  if (s.perState && !nf.states.empty()) return std::nullopt;  // set twice is per state
  if (lines.at[s.slot] != 0)
    return Fault::namedTwice(nf.file, ln.number, std::string(word), set, lines.at[s.slot]);
  return std::nullopt;
}

// A vector's values become the data set's.
void take(NamedFile& nf, const Line& ln, const Setting& s, const std::vector<double>& vals) {
  const auto slot = static_cast<std::size_t>(s.slot);
  const bool first = !nf.given[slot];
  nf.v[slot] = vals;
  nf.given[slot] = true;
  nf.bad[slot] = false;
  noteSpread(nf, ln, s, 1, 1);
  if (s.slot == kC) nf.cGiven = true;
  // Recruitment rates without the option that uses them: run as asked, and say so.
  const bool unused =
      (s.slot == kF && nf.recruit == Recruit::none) || (s.slot == kSef && nf.recruit != Recruit::normal);
  if (nf.checking && unused && first) {
    nf.warnings.push_back(Fault::unusedSetting(nf.file, ln.number, std::string(ln.words[0]),
                                               s.slot == kF ? "RECRUIT=" : "RECRUIT=NORMAL"));
  }
}

// A mistake kept to be shown with the others.
void note(NamedFile& nf, const Fault& f) {
  if (nf.mistakes.size() < kMistakesShown) {
    nf.mistakes.push_back(f);
  } else {
    ++nf.moreMistakes;
  }
}

// One line of data set number set (from 1): its setting taken into nf.v (a multistate study's
// into nf.st), or the fault that refuses it. A dataset line, even a refused one, ends the data set.
std::optional<Fault> readLine(NamedFile& nf, const Line& ln, int set, SetLines& lines, bool& ends) {
  std::vector<double> vals;
  const std::string_view word = ln.words[0];
  const Setting* s = find(word);
  if (s == nullptr) return Fault::namedUnknown(nf.file, ln.number, shown(word), suggest(word));
  // The whole file's settings, not the data set's: a data set neither begins at one nor is left
  // unchecked for one refused.
  if (isIndividual(*s)) {
    if (auto f = readIndividualLine(nf, ln, *s, set)) note(nf, *f);
    return std::nullopt;
  }
  if (lines.start == 0) lines.start = ln.number;
  if (auto f = misplaced(nf, ln, *s, set, lines)) return f;
  if (s->perState && !nf.states.empty()) {
    auto f = readStateLine(nf, ln, *s, set, lines.states, vals);
    if (f) nf.badStates = true;
    return f;
  }
  ends = s->slot == kDataset;
  if (auto f = values(nf, ln, *s, vals)) {
    if (s->slot < kVectors) nf.bad[s->slot] = true;
    return f;
  }
  if (ends) return std::nullopt;
  lines.at[s->slot] = ln.number;
  if (s->slot == kGroup || s->slot == kClass) {
    lines.label[s->slot - kGroup] = ln.words[1];
  } else {
    take(nf, ln, *s, vals);
  }
  return std::nullopt;
}

// Reads the lines of data set number set up to the dataset line that begins the next one or the
// end of the file. A line refused is noted and left out, and reading goes on.
void readLines(NamedFile& nf, int set, SetLines& lines) {
  Line ln;
  for (bool ends = false; !ends && nextLine(nf, ln);) {
    if (auto f = readLine(nf, ln, set, lines, ends)) {
      note(nf, *f);
      lines.refused = true;
    }
    if (ends) nf.nextSetAt = ln.number;
    if (ends && set == 1) nf.indivLines.firstDataset = ln.number;
  }
}

// The first data set gives every vector that has no default.
std::optional<Fault> missing(const NamedFile& nf, long start) {
  struct Required {
    int slot;
    const char* name;
    bool needed;
    const char* by;  // the option that needs it
  };
  const Required required[] = {
      {kEntrants, "entrants", true, ""},
      {kSurvival, "survival", nf.nper >= 2 || nf.encounters != Encounters::none, ""},
      {kP, "p", true, ""},
      {kF, "f", nf.recruit != Recruit::none && nf.nper >= 2, "RECRUIT="},
      {kSef, "sef", nf.recruit == Recruit::normal && nf.nper >= 2, "RECRUIT=NORMAL"}};
  for (const Required& r : required) {
    if (r.needed && !nf.given[r.slot]) return Fault::namedMissing(nf.file, start, r.name, 1, r.by);
  }
  return std::nullopt;
}

// A group or class line must name the data set's place in the file.
std::optional<Fault> misnumbered(const NamedFile& nf, int set, const SetLines& lines) {
  const Place where = placeOf(set - 1, nf.mxgrps, nf.classes);
  const std::int64_t place[2] = {where.group + 1, where.cls + 1};  // as the file numbers them, from 1
  for (int k = 0; k < 2; ++k) {
    if (lines.label[k].empty() || *number(lines.label[k]) == static_cast<double>(place[k])) continue;
    return Fault::namedOrder(nf.file, lines.at[kGroup + k], k == 0 ? "group" : "class", place[k],
                             shown(lines.label[k]));
  }
  return std::nullopt;
}

// A data set needs animals, and without USEF1 the reader works out f1 as n2 / n1 - s1 and
// divides n1 by p1.
std::optional<Fault> noAnimals(const NamedFile& nf, int set, const SetLines& lines) {
  const std::vector<double>& n = nf.v[kEntrants];
  if (std::all_of(n.begin(), n.end(), [](double x) { return x == 0; }))
    return Fault::namedNoEntrants(nf.file, lines.lineOf(kEntrants), set);
  if (nf.recruit == Recruit::none || nf.usef1) return std::nullopt;
  if (n[0] == 0) return Fault::namedRecruitStart(nf.file, lines.lineOf(kEntrants), "entrants", set);
  const auto first = nf.v[kP].begin();
  const auto firstEnd = first + (nf.sec.empty() ? 1 : nf.sec[0]);
  if (std::all_of(first, firstEnd, [](double x) { return x == 0; }))
    return Fault::namedRecruitStart(nf.file, lines.lineOf(kP), "p", set);
  return std::nullopt;
}

// Reads the next data set into nf.v, noting its mistakes; got is false when the file holds no
// further one. The data set's settings are checked as a whole only when none of its lines, nor
// one of the vectors checked, was refused: that check would only repeat the mistake.
void nextSet(NamedFile& nf, bool& got) {
  got = false;
  if (nf.sets > 0 && nf.nextSetAt == 0) return;
  const int set = nf.sets + 1;
  SetLines lines;
  lines.start = nf.nextSetAt;
  nf.nextSetAt = 0;
  readLines(nf, set, lines);
  if (lines.start == 0) lines.start = nf.occasionsAt;
  const bool multistate = !nf.states.empty();
  bool whole = !lines.refused;
  if (whole && set == 1 && !multistate) {
    if (auto f = missing(nf, lines.start)) {
      note(nf, *f);
      whole = false;
    }
  }
  if (!nf.cGiven) nf.v[kC] = nf.v[kP];
  const auto& c = nf.v[kC];
  if (nf.checking && std::any_of(c.begin(), c.end(), [](double x) { return x != 0; })) nf.recaptures = true;
  if (auto f = misnumbered(nf, set, lines)) note(nf, *f);
  if (multistate) {
    const auto f = finishStates(nf, set, lines.states, lines.start);  // also completes the states' rates
    if (f && whole && !nf.badStates) note(nf, *f);
  } else if (whole && !nf.bad[kEntrants] && !nf.bad[kP]) {
    if (auto f = noAnimals(nf, set, lines)) note(nf, *f);
  }
  ++nf.sets;
  got = true;
}

bool beginsWord(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '#';
}

}  // namespace

bool namedFormat(ParamReader& in) {
  const int c = peekToken(in);
  return !in.error && beginsWord(c);
}

namespace {

// The rest of the file into nf.text, from where in stands (it has read white space only).
std::optional<Fault> readText(NamedFile& nf, ParamReader& in) {
  nf.text.assign(in.buf + in.pos, in.len - in.pos);
  in.pos = in.len;
  if (in.infp != nullptr) {
    char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, in.infp)) > 0;)
      nf.text.append(chunk, got);
    if (std::ferror(in.infp) != 0) return Fault::readInput(nf.file);
  }
  nf.pos = 0;
  nf.line = in.line;
  return std::nullopt;
}

// The occasions line, first of all.
std::optional<Fault> readOccasions(NamedFile& nf) {
  Line ln;
  if (!nextLine(nf, ln)) {
    // No setting at all: the file's last line, which a final line end does not add to.
    const bool ended = !nf.text.empty() && nf.text.back() == '\n' && nf.line > 1;
    return Fault::namedFirst(nf.file, ended ? nf.line - 1 : nf.line, {});
  }
  const Setting* s = find(ln.words[0]);
  if (s == nullptr) return Fault::namedUnknown(nf.file, ln.number, shown(ln.words[0]), suggest(ln.words[0]));
  if (s->slot != kOccasions) return Fault::namedFirst(nf.file, ln.number, std::string(ln.words[0]));
  std::vector<double> vals;
  if (auto f = values(nf, ln, *s, vals)) return f;
  nf.nper = static_cast<int>(vals[0]);
  nf.K = nf.nper;
  nf.occasionsAt = ln.number;
  nf.body = nf.pos;
  nf.bodyLine = nf.line;
  return std::nullopt;
}

// A robust design's secondaries: every count of p and c follows from them.
std::optional<Fault> readSecondaries(NamedFile& nf, const Line& ln) {
  std::vector<double> vals;
  if (auto f = values(nf, ln, *find("secondaries"), vals)) return f;
  double sum = 0;
  for (const double x : vals) sum += x;
  if (sum > kMaxOccasions) {
    char text[32];  // the sum as written: it may lie far beyond any integer type
    std::snprintf(text, sizeof text, "%.15g", sum);
    return Fault::namedTooManySecondaries(nf.file, ln.number, text);
  }
  for (const double x : vals) nf.sec.push_back(static_cast<int>(x));
  nf.K = static_cast<int>(sum);
  return std::nullopt;
}

// A live-dead study's kind: one word.
std::optional<Fault> readEncounters(NamedFile& nf, const Line& ln) {
  std::string kind;
  for (std::size_t i = 1; i < ln.words.size(); ++i) kind.append(i > 1 ? " " : "").append(ln.words[i]);
  if (kind == "livedead") {
    nf.encounters = Encounters::livedead;
  } else if (kind == "barker") {
    nf.encounters = Encounters::barker;
  } else {
    return Fault::namedEncounters(nf.file, ln.number, shown(kind));
  }
  nf.encountersAt = ln.number;
  return std::nullopt;
}

// Kinds of study the design lines join that are not simulated together, said before any data
// set is checked. A live-dead study's dead and emigrated animals are states of its own, which a
// multistate study or a robust design does not add to yet; a robust design of several states is
// not simulated yet either, and RECRUIT= draws entrants that a multistate study gives per state.
std::optional<Fault> designClash(const NamedFile& nf, long secondariesAt) {
  for (const auto& [at, states] : {std::pair{nf.statesAt, true}, std::pair{secondariesAt, false}}) {
    if (nf.encountersAt != 0 && at != 0)
      return Fault::encountersStates(nf.file, std::max(at, nf.encountersAt), states);
  }
  if (nf.statesAt == 0) return std::nullopt;
  if (secondariesAt != 0) return Fault::statesRobust(nf.file, std::max(secondariesAt, nf.statesAt));
  if (nf.recruit != Recruit::none) return Fault::statesRecruit();
  return std::nullopt;
}

// The lines right after occasions that shape the histories, in any order: secondaries, states,
// encounters, and the time intervals, whose count follows from occasions alone.
std::optional<Fault> readDesign(NamedFile& nf) {
  long secondariesAt = 0, intervalAt = 0;
  for (Line ln; nextLine(nf, ln);) {
    if (ln.words[0] == "secondaries" && secondariesAt == 0) {
      if (auto f = readSecondaries(nf, ln)) return f;
      secondariesAt = ln.number;
    } else if (ln.words[0] == "states" && nf.statesAt == 0) {
      if (auto f = readStates(nf, ln)) return f;
    } else if (ln.words[0] == "interval" && intervalAt == 0) {
      if (auto f = values(nf, ln, *find("interval"), nf.interval)) return f;
      intervalAt = ln.number;
    } else if (ln.words[0] == "encounters" && nf.encountersAt == 0) {
      if (auto f = readEncounters(nf, ln)) return f;
    } else {
      break;
    }
    nf.body = nf.pos;
    nf.bodyLine = nf.line;
  }
  return designClash(nf, secondariesAt);
}

// Every data set is checked now, so that a fault stops the run before anything is written (with
// every mistake found, so that one run shows them all);
// then the counts the run would stop on after its first records are said before it writes
// anything.
std::optional<Fault> checkDataSets(NamedFile& nf) {
  nf.checking = true;
  nf.recaptures = false;
  restart(nf);
  nf.indiv = {};
  nf.indivLines = {};
  findCovariates(nf);
  for (bool got = true; got;) nextSet(nf, got);
  finishIndividuals(nf);
  nf.checking = false;
  if (!nf.mistakes.empty()) {
    Fault all = nf.mistakes.front();
    for (std::size_t i = 1; i < nf.mistakes.size(); ++i) all.follow(nf.mistakes[i]);
    if (nf.moreMistakes > 0) all.follow(Fault::namedMore(nf.file, nf.moreMistakes));
    return all;
  }
  const std::int64_t sets = nf.sets;
  if (nf.mxgrps != 1 && sets > nf.mxgrps * nf.classes) {
    if (nf.classes == 1) return Fault::tooManyDataSets(nf.file, nf.mxgrps);
    return Fault::tooManyClassSets(nf.file, nf.mxgrps, nf.classes);
  }
  if (sets % nf.classes != 0) return Fault::partialClasses(nf.file, sets, nf.classes);
  restart(nf);
  return std::nullopt;
}

}  // namespace

std::optional<Fault> openNamed(NamedFile& nf, ParamReader& in) {
  nf.active = true;
  if (auto f = readText(nf, in)) return f;
  if (auto f = readOccasions(nf)) return f;
  if (auto f = readDesign(nf)) return f;
  return checkDataSets(nf);
}

std::optional<DataSet> readNamedDataSet(NamedFile& nf, const DataSet& previous) {
  bool got = false;
  nextSet(nf, got);
  if (!got) return std::nullopt;
  if (!nf.states.empty()) return statesDataSet(nf);
  DataSet d = previous;
  const auto take = [&nf](NamedVector from, std::vector<double>& to) {
    std::copy(nf.v[from].begin(), nf.v[from].end(), to.begin());
  };
  take(kEntrants, d.n);
  take(kSurvival, d.sa);
  take(kRetention, d.th);
  take(kP, d.pa);
  take(kC, d.p2);
  if (!nf.sec.empty()) {
    take(kEmigrate, d.em);
    take(kRemainOut, d.ro);
  }
  if (nf.encounters != Encounters::none) {
    take(kReport, d.rr);
    take(kFidelity, d.fid);
  }
  if (nf.encounters == Encounters::barker) {
    take(kResight, d.rs);
    take(kResightDead, d.rsd);
    take(kReturn, d.ret);
  }
  if (nf.recruit != Recruit::none) take(kF, d.f);
  if (nf.recruit == Recruit::normal) take(kSef, d.sef);
  return d;
}

}  // namespace plovanet
