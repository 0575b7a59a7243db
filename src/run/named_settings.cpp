#include "run/named_settings.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "run/options.h"

namespace plovanet::named {

namespace {

// Other names a user may reach for (the echo lines' labels, the model's arrays, MARK's names for
// the robust design's and the multistate study's parameters): only suggested.
// clang-format off
constexpr std::pair<const char*, const char*> kHints[] = {
    {"srv", "survival"}, {"phi", "survival"}, {"th", "retention"}, {"pa", "p"}, {"p2", "c"},
    {"nper", "occasions"}, {"primaries", "occasions"}, {"se", "sef"}, {"se(f)", "sef"},
    {"secondary", "secondaries"},
    {"emigration", "emigrate"}, {"gamma''", "emigrate"}, {"gamma_double_prime", "emigrate"},
    {"gammadoubleprime", "emigrate"},
    {"gamma'", "remain_out"}, {"gamma_prime", "remain_out"}, {"gammaprime", "remain_out"},
    {"remain", "remain_out"}, {"stay_out", "remain_out"},
    {"strata", "states"}, {"stratum", "states"}, {"observation", "observe"},
    {"psi", "move"}, {"movement", "move"}, {"transition", "move"}, {"transitions", "move"},
    {"icovariate", "covariate"}, {"icovariates", "covariate"}, {"covar", "covariate"},
    {"beta", "effect"}, {"slope", "effect"}, {"sigma", "heterogeneity"}, {"random_effect", "heterogeneity"},
    {"frailty", "heterogeneity"}, {"quadrature", "nodes"},
    {"recovery", "report"}, {"reporting", "report"}, {"r", "report"}, {"site_fidelity", "fidelity"},
    {"resighting", "resight"}, {"r'", "resight_dead"}, {"resight_die", "resight_dead"}, {"f'", "return"},
    {"livedead", "encounters"}, {"barker", "encounters"}, {"burnham", "encounters"},
};
// clang-format on

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

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

namespace {

// The name a word may have been meant as: up to an '=' or ':' (as the echo lines write "p="),
// lower case; empty when too long to be one.
std::string asName(std::string_view word) {
  std::string w(word.substr(0, word.find_first_of("=:")));
  if (w.size() > 24) return {};
  for (char& ch : w) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return w;
}

// The name or short name of a setting closest to w, a letter or two off (two only for names of
// five letters or more, and fewer than w has); of those as close, the first that w begins.
std::string closest(const std::string& w) {
  std::string best;
  std::size_t bestDistance = 0;
  bool bestPrefix = false;
  for (const Setting& s : kSettings) {
    for (const char* cand : {s.name, s.alias}) {
      if (cand == nullptr) continue;
      const std::string_view c(cand);
      const std::size_t d = editDistance(w, c);
      const bool close = d == 0 || (d <= (c.size() >= 5 ? 2U : 1U) && d < w.size());
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

}  // namespace

// A known name close to an unknown one: another case, a letter or two off, "p=" as the echo
// lines write it, another name a user may reach for; empty when none is close.
std::string suggest(std::string_view word) {
  const std::string w = asName(word);
  if (w.empty()) return {};
  for (const auto& [hint, name] : kHints) {
    if (w == hint) return name;
  }
  return closest(w);
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
    case Len::deaths:
      return static_cast<std::size_t>(nf.encounters == Encounters::none ? nf.nper - 1 : nf.nper);
    case Len::secondaries:
      return static_cast<std::size_t>(nf.K);
  }
  return 0;
}

namespace {

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
      return nf.recruit == Recruit::binomial ? inRange(nf, Range::rate, x)
                                             : inRange(nf, Range::nonnegative, x);
    case Range::occasions:
      return x >= 1 && x <= kMaxOccasions && x == std::floor(x);
    case Range::ordinal:
      return x >= 1 && std::isfinite(x) && x == std::floor(x);
    case Range::positive:
      return x > 0 && std::isfinite(x);
    case Range::nodes:
      return x >= kMinNodes && x <= kMaxNodes && x == std::floor(x);
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
      return nf.recruit == Recruit::binomial ? "rates from 0 to 1 with RECRUIT=BINOMIAL"
                                             : "numbers 0 or more";
    case Range::occasions:
      return "a whole number from 1 to " + std::to_string(kMaxOccasions);
    case Range::ordinal:
      return "a whole number, 1 or more";
    case Range::positive:
      return "numbers above 0";
    case Range::nodes:
      return "a whole number from " + std::to_string(kMinNodes) + " to " + std::to_string(kMaxNodes);
  }
  return {};
}

// What one entry of a vector setting stands for.
std::string entryText(const NamedFile& nf, const Setting& s) {
  // The secondaries line is read before the file is known to be a robust design.
  if (s.slot == kSecondaries) return "primary";
  const bool robust = !nf.sec.empty();
  if (s.len == Len::secondaries && robust) return "secondary occasion";
  if (s.len == Len::deaths && nf.encounters != Encounters::none)
    return "interval, the last one after the last occasion";
  if (s.len == Len::intervals || s.len == Len::deaths)
    return robust ? "interval between primaries" : "interval";
  return robust ? "primary" : "occasion";
}

}  // namespace

// The values of a setting's line from word first on: numbers in its range, as many as it takes,
// or one that stands for every entry of a vector. Messages name the words before them.
std::optional<Fault> values(const NamedFile& nf, const Line& ln, const Setting& s, std::vector<double>& out,
                            std::size_t first) {
  std::string name(ln.words[0]);
  for (std::size_t i = 1; i < first; ++i) name.append(" ").append(ln.words[i]);
  out.clear();
  for (std::size_t i = first; i < ln.words.size(); ++i) {
    const auto x = number(ln.words[i]);
    if (!x) return Fault::namedNotNumber(nf.file, ln.number, name, shown(ln.words[i]));
    // Beyond the largest double: refused for its size where the range has no upper end, which
    // would otherwise read as a range it already lies in.
    if (std::isinf(*x) && *x > 0 && inRange(nf, s.range, std::numeric_limits<double>::max()))
      return Fault::namedTooLarge(nf.file, ln.number, name, shown(ln.words[i]));
    if (!inRange(nf, s.range, *x))
      return Fault::namedRange(nf.file, ln.number, name, shown(ln.words[i]), rangeText(nf, s.range));
    out.push_back(*x);
  }
  const std::size_t need = needed(nf, s.len);
  const bool vector =
      s.len == Len::occasions || s.len == Len::intervals || s.len == Len::secondaries || s.len == Len::deaths;
  if (out.size() == need) return std::nullopt;
  if (vector && out.size() == 1) {
    out.assign(need, out[0]);
    return std::nullopt;
  }
  std::string takes = need == 0 ? "none" : std::to_string(need);
  if (vector) takes += " (one per " + entryText(nf, s) + ") or 1 for all";
  return Fault::namedCount(nf.file, ln.number, name, out.size(), takes);
}

void noteSpread(NamedFile& nf, const Line& ln, const Setting& s, std::size_t first, std::size_t states) {
  const std::size_t need = needed(nf, s.len);
  if (s.slot != kEntrants || !nf.checking || nf.spreadWarned || need < 2 || states == 0 ||
      ln.words.size() != first + 1)
    return;
  const auto x = number(ln.words[first]);
  if (!x || *x == 0) return;
  std::string name(ln.words[0]);
  for (std::size_t i = 1; i < first; ++i) name.append(" ").append(ln.words[i]);
  nf.warnings.push_back(Fault::spreadEntrants(nf.file, ln.number, name, std::string(ln.words[first]),
                                              static_cast<int>(need), states, !nf.sec.empty()));
  nf.spreadWarned = true;
}

}  // namespace plovanet::named
