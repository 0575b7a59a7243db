#include "run/named_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "run/options.h"

namespace plovanet {

namespace {

// How many values a setting takes.
enum class Len { none, one, occasions, intervals, secondaries };
// What its values may be.
enum class Range { none, rate, animals, nonnegative, recruitment, occasions, ordinal };

// Settings besides the vectors.
constexpr int kOccasions = kVectors, kDataset = kVectors + 1, kGroup = kVectors + 2, kClass = kVectors + 3,
              kSecondaries = kVectors + 4, kSlots = kVectors + 5;

struct Setting {
  const char* name;
  const char* alias;  // the short name of the model and the echo lines
  int slot;
  Len len;
  Range range;
};

// Every name of the format; a later setting is one more row with its own count and range.
constexpr Setting kSettings[] = {
    {"occasions", nullptr, kOccasions, Len::one, Range::occasions},
    {"entrants", "n", kEntrants, Len::occasions, Range::animals},
    {"survival", "s", kSurvival, Len::intervals, Range::rate},
    {"retention", "theta", kRetention, Len::intervals, Range::rate},
    {"p", nullptr, kP, Len::secondaries, Range::rate},
    {"c", nullptr, kC, Len::secondaries, Range::rate},
    {"f", nullptr, kF, Len::intervals, Range::recruitment},
    {"sef", nullptr, kSef, Len::intervals, Range::nonnegative},
    {"dataset", nullptr, kDataset, Len::none, Range::none},
    {"group", nullptr, kGroup, Len::one, Range::ordinal},
    {"class", nullptr, kClass, Len::one, Range::ordinal},
    {"secondaries", nullptr, kSecondaries, Len::occasions, Range::ordinal},
    {"emigrate", nullptr, kEmigrate, Len::intervals, Range::rate},
    {"remain_out", nullptr, kRemainOut, Len::intervals, Range::rate},
};

// Other names a user may reach for (the echo lines' labels, the model's arrays): only suggested.
constexpr std::pair<const char*, const char*> kHints[] = {
    {"srv", "survival"}, {"phi", "survival"},   {"th", "retention"}, {"pa", "p"},
    {"p2", "c"},         {"nper", "occasions"}, {"se", "sef"},       {"se(f)", "sef"},
};

constexpr double kMaxCaptureOccasions = 30;  // histories fit a 32-bit int

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

struct Line {
  long number = 0;
  std::vector<std::string_view> words;
};

// The next line that holds a word, comments left out; false at the end of the text.
bool nextLine(NamedFile& nf, Line& out) {
  const std::string& t = nf.text;
  while (nf.pos < t.size()) {
    out.number = nf.line;
    out.words.clear();
    std::size_t i = nf.pos;
    bool comment = false;
    while (i < t.size() && t[i] != '\n') {
      if (t[i] == '#') comment = true;
      if (comment || isBlank(t[i])) {
        ++i;
        continue;
      }
      const std::size_t start = i;
      while (i < t.size() && t[i] != '\n' && t[i] != '#' && !isBlank(t[i])) ++i;
      out.words.emplace_back(t.data() + start, i - start);
    }
    if (i < t.size()) {
      ++i;
      ++nf.line;
    }
    nf.pos = i;
    if (!out.words.empty()) return true;
  }
  return false;
}

// A word as a message shows it: a long one cut short, control characters (a binary file's
// NULs among them) as '?', so that the message stays one printable line.
std::string shown(std::string_view w) {
  constexpr std::size_t kShown = 40;
  std::string s(w.substr(0, kShown));
  for (char& ch : s) {
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = '?';
  }
  return w.size() <= kShown ? s : s + "...";
}

// A decimal number as the numeric format writes one (no hex, no inf or nan); empty otherwise.
std::optional<double> number(std::string_view w) {
  std::size_t i = 0, digits = 0;
  if (i < w.size() && (w[i] == '+' || w[i] == '-')) ++i;
  for (; i < w.size() && isDigit(w[i]); ++i) ++digits;
  if (i < w.size() && w[i] == '.') {
    for (++i; i < w.size() && isDigit(w[i]); ++i) ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < w.size() && (w[i] == 'e' || w[i] == 'E')) {
    ++i;
    if (i < w.size() && (w[i] == '+' || w[i] == '-')) ++i;
    std::size_t exp = 0;
    for (; i < w.size() && isDigit(w[i]); ++i) ++exp;
    if (exp == 0) return std::nullopt;
  }
  if (i != w.size()) return std::nullopt;
  return std::strtod(std::string(w).c_str(), nullptr);
}

const Setting* find(std::string_view w) {
  for (const Setting& s : kSettings) {
    if (w == s.name || (s.alias != nullptr && w == s.alias)) return &s;
  }
  return nullptr;
}

// A known name close to an unknown one: another case, a letter or two off, "p=" as the echo
// lines write it; empty when none is close.
std::string suggest(std::string_view word) {
  std::string w(word.substr(0, word.find_first_of("=:")));
  if (w.empty() || w.size() > 24) return {};
  for (char& ch : w) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  for (const auto& [hint, name] : kHints) {
    if (w == hint) return name;
  }
  std::string best;
  std::size_t bestDistance = 0;
  bool bestPrefix = false;
  for (const Setting& s : kSettings) {
    for (const char* cand : {s.name, s.alias}) {
      if (cand == nullptr) continue;
      const std::string_view c(cand);
      const std::size_t d = editDistance(w, c);
      const bool close = d == 0 || (d <= (c.size() >= 5 ? 2u : 1u) && d < w.size());
      const bool prefix = c.substr(0, w.size()) == w;
      if (close && (best.empty() || d < bestDistance || (d == bestDistance && prefix && !bestPrefix))) {
        best = cand;
        bestDistance = d;
        bestPrefix = prefix;
      }
    }
  }
  return best;
}

std::size_t needed(const NamedFile& nf, Len len) {
  switch (len) {
    case Len::none:
      return 0;
    case Len::one:
      return 1;
    case Len::occasions:
      return static_cast<std::size_t>(nf.nper);
    case Len::intervals:
      return static_cast<std::size_t>(nf.nper - 1);
    case Len::secondaries:
      return static_cast<std::size_t>(nf.K);
  }
  return 0;
}

bool inRange(const NamedFile& nf, Range r, double x) {
  switch (r) {
    case Range::none:
      return true;
    case Range::rate:
      return x >= 0 && x <= 1;
    case Range::animals:
    case Range::nonnegative:
      return x >= 0 && std::isfinite(x);
    case Range::recruitment:
      return nf.recruit == Recruit::binomial ? inRange(nf, Range::rate, x) : inRange(nf, Range::nonnegative, x);
    case Range::occasions:
      return x >= 1 && x <= 30 && x == std::floor(x);
    case Range::ordinal:
      return x >= 1 && std::isfinite(x) && x == std::floor(x);
  }
  return false;
}

std::string rangeText(const NamedFile& nf, Range r) {
  switch (r) {
    case Range::none:
      return {};
    case Range::rate:
      return "rates from 0 to 1";
    case Range::animals:
      return "numbers of animals, 0 or more";
    case Range::nonnegative:
      return "numbers 0 or more";
    case Range::recruitment:
      return nf.recruit == Recruit::binomial ? "rates from 0 to 1 with RECRUIT=BINOMIAL" : "numbers 0 or more";
    case Range::occasions:
      return "a whole number from 1 to 30";
    case Range::ordinal:
      return "a whole number, 1 or more";
  }
  return {};
}

// The values of a setting's line: numbers in its range, as many as it takes, or one that stands
// for every entry of a vector.
std::optional<Fault> values(const NamedFile& nf, const Line& ln, const Setting& s, std::vector<double>& out) {
  const std::string name(ln.words[0]);
  out.clear();
  for (std::size_t i = 1; i < ln.words.size(); ++i) {
    const auto x = number(ln.words[i]);
    if (!x) return Fault::namedNotNumber(nf.file, ln.number, name, shown(ln.words[i]));
    if (!inRange(nf, s.range, *x))
      return Fault::namedRange(nf.file, ln.number, name, shown(ln.words[i]), rangeText(nf, s.range));
    out.push_back(*x);
  }
  const std::size_t need = needed(nf, s.len);
  const bool vector = s.len == Len::occasions || s.len == Len::intervals || s.len == Len::secondaries;
  if (out.size() == need) return std::nullopt;
  if (vector && out.size() == 1) {
    out.assign(need, out[0]);
    return std::nullopt;
  }
  std::string takes = need == 0 ? "none" : std::to_string(need);
  const bool robust = !nf.sec.empty();
  if (vector) {
    if (s.len == Len::secondaries && robust)
      takes += " (one per secondary occasion) or 1 for all";
    else if (s.len == Len::intervals)
      takes += robust ? " (one per interval between primaries) or 1 for all" : " (one per interval) or 1 for all";
    else
      takes += robust ? " (one per primary) or 1 for all" : " (one per occasion) or 1 for all";
  }
  return Fault::namedCount(nf.file, ln.number, name, out.size(), takes);
}

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
}

// Reads the next data set into nf.v; got is false when the file holds no further one.
std::optional<Fault> nextSet(NamedFile& nf, bool& got) {
  got = false;
  if (nf.sets > 0 && nf.nextSetAt == 0) return std::nullopt;
  const int set = nf.sets + 1;
  long start = nf.nextSetAt;  // line where the data set begins
  long at[kSlots] = {};       // line where each setting was given in this data set
  std::string label[2];       // group and class as written
  nf.nextSetAt = 0;
  Line ln;
  std::vector<double> vals;
  while (nextLine(nf, ln)) {
    const std::string_view word = ln.words[0];
    const Setting* s = find(word);
    if (s == nullptr) return Fault::namedUnknown(nf.file, ln.number, shown(word), suggest(word));
    if (start == 0) start = ln.number;
    if (s->slot == kOccasions) return Fault::namedOccasionsAgain(nf.file, ln.number, nf.occasionsAt);
    if (s->slot == kSecondaries) return Fault::namedSecondariesPlace(nf.file, ln.number);
    if ((s->slot == kEmigrate || s->slot == kRemainOut) && nf.sec.empty())
      return Fault::namedNotRobust(nf.file, ln.number, std::string(word));
    if (at[s->slot] != 0) return Fault::namedTwice(nf.file, ln.number, std::string(word), set, at[s->slot]);
    if (auto f = values(nf, ln, *s, vals)) return f;
    if (s->slot == kDataset) {
      nf.nextSetAt = ln.number;
      break;
    }
    at[s->slot] = ln.number;
    if (s->slot == kGroup || s->slot == kClass) {
      label[s->slot - kGroup] = ln.words[1];
      continue;
    }
    const auto slot = static_cast<std::size_t>(s->slot);
    const bool first = !nf.given[slot];
    nf.v[slot] = vals;
    nf.given[slot] = true;
    if (s->slot == kC) nf.cGiven = true;
    // Recruitment rates without the option that uses them: run as asked, and say so.
    const bool unused =
        (s->slot == kF && nf.recruit == Recruit::none) || (s->slot == kSef && nf.recruit != Recruit::normal);
    if (nf.checking && unused && first) {
      nf.warnings.push_back(Fault::unusedSetting(nf.file, ln.number, std::string(word),
                                                 s->slot == kF ? "RECRUIT=" : "RECRUIT=NORMAL"));
    }
  }
  if (start == 0) start = nf.occasionsAt;
  const auto lineOf = [&](int slot) { return at[slot] != 0 ? at[slot] : start; };

  if (set == 1) {
    struct Required {
      int slot;
      const char* name;
      bool needed;
      const char* by;  // the option that needs it
    };
    const Required required[] = {{kEntrants, "entrants", true, ""},
                                 {kSurvival, "survival", nf.nper >= 2, ""},
                                 {kP, "p", true, ""},
                                 {kF, "f", nf.recruit != Recruit::none && nf.nper >= 2, "RECRUIT="},
                                 {kSef, "sef", nf.recruit == Recruit::normal && nf.nper >= 2, "RECRUIT=NORMAL"}};
    for (const Required& r : required) {
      if (r.needed && !nf.given[r.slot]) return Fault::namedMissing(nf.file, start, r.name, set, r.by);
    }
  }
  if (!nf.cGiven) nf.v[kC] = nf.v[kP];

  // Data set i (from 0) is class i % CLASSES= of group i / CLASSES= (of group 1 with one group).
  const std::int64_t index = set - 1;
  const std::int64_t place[2] = {nf.mxgrps != 1 ? index / nf.classes + 1 : 1, index % nf.classes + 1};
  for (int k = 0; k < 2; ++k) {
    if (label[k].empty() || *number(label[k]) == static_cast<double>(place[k])) continue;
    return Fault::namedOrder(nf.file, at[kGroup + k], k == 0 ? "group" : "class", place[k], shown(label[k]));
  }

  const std::vector<double>& n = nf.v[kEntrants];
  if (std::all_of(n.begin(), n.end(), [](double x) { return x == 0; }))
    return Fault::namedNoEntrants(nf.file, lineOf(kEntrants), set);
  // Without USEF1 the reader works out f1 as n2 / n1 - s1 and divides n1 by p1.
  if (nf.recruit != Recruit::none && !nf.usef1) {
    if (n[0] == 0) return Fault::namedRecruitStart(nf.file, lineOf(kEntrants), "entrants", set);
    const auto first = nf.v[kP].begin();
    const auto firstEnd = first + (nf.sec.empty() ? 1 : nf.sec[0]);
    if (std::all_of(first, firstEnd, [](double x) { return x == 0; }))
      return Fault::namedRecruitStart(nf.file, lineOf(kP), "p", set);
  }
  ++nf.sets;
  got = true;
  return std::nullopt;
}

bool beginsWord(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '#';
}

}  // namespace

bool namedFormat(ParamReader& in) {
  const int c = peekToken(in);
  if (in.error) return false;
  // A UTF-8 byte order mark before a word (a numeric file with one stays refused as before).
  const std::string_view mark = "\xEF\xBB\xBF";
  if (c == 0xEF && in.len - in.pos > mark.size() && std::string_view(in.buf + in.pos, mark.size()) == mark)
    return beginsWord(static_cast<unsigned char>(in.buf[in.pos + mark.size()]));
  return beginsWord(c);
}

std::optional<Fault> openNamed(NamedFile& nf, ParamReader& in) {
  nf.active = true;
  nf.text.assign(in.buf + in.pos, in.len - in.pos);
  in.pos = in.len;
  if (in.infp != nullptr) {
    char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, in.infp)) > 0;)
      nf.text.append(chunk, got);
    if (std::ferror(in.infp) != 0) return Fault::readInput(nf.file);
  }
  nf.pos = nf.text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // the mark some editors put first
  nf.line = in.line;
  Line ln;
  if (!nextLine(nf, ln)) return Fault::namedFirst(nf.file, nf.line, {});
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
  // A robust design names its secondaries right after occasions: every count of p and c
  // follows from them.
  if (nextLine(nf, ln) && ln.words[0] == "secondaries") {
    if (auto f = values(nf, ln, *find("secondaries"), vals)) return f;
    double sum = 0;
    for (const double x : vals) sum += x;
    if (sum > kMaxCaptureOccasions) {
      char text[32];  // the sum as written: it may lie far beyond any integer type
      std::snprintf(text, sizeof text, "%.15g", sum);
      return Fault::namedTooManySecondaries(nf.file, ln.number, text);
    }
    for (const double x : vals) nf.sec.push_back(static_cast<int>(x));
    nf.K = static_cast<int>(sum);
    nf.body = nf.pos;
    nf.bodyLine = nf.line;
  }
  nf.pos = nf.body;
  nf.line = nf.bodyLine;
  // Every data set is checked now, so that a fault stops the run before anything is written.
  nf.checking = true;
  restart(nf);
  for (bool got = true; got;) {
    if (auto f = nextSet(nf, got)) return f;
  }
  nf.checking = false;
  // The counts the run would stop on after its first records, said before it writes anything.
  const std::int64_t sets = nf.sets;
  if (nf.mxgrps != 1 && sets > nf.mxgrps * nf.classes) {
    if (nf.classes == 1) return Fault::tooManyDataSets(nf.file, nf.mxgrps);
    return Fault::tooManyClassSets(nf.file, nf.mxgrps, nf.classes);
  }
  if (sets % nf.classes != 0) return Fault::partialClasses(nf.file, sets, nf.classes);
  restart(nf);
  return std::nullopt;
}

std::optional<DataSet> readNamedDataSet(NamedFile& nf, const DataSet& previous) {
  bool got = false;
  if (nextSet(nf, got) || !got) return std::nullopt;
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
  if (nf.recruit != Recruit::none) take(kF, d.f);
  if (nf.recruit == Recruit::normal) take(kSef, d.sef);
  return d;
}

}  // namespace plovanet
