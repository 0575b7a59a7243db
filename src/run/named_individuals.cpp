#include "run/named_individuals.h"

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace plovanet::named {

namespace {

std::string lower(std::string_view w) {
  std::string s(w);
  for (char& ch : s) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return s;
}

bool isLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The words of a line before word `end`, as a message names the setting ("effect move A B").
std::string nameOf(const Line& ln, std::size_t end) {
  std::string name(ln.words[0]);
  for (std::size_t i = 1; i < end; ++i) name.append(" ").append(shown(ln.words[i]));
  return name;
}

// A value that is a decimal number of finite size.
std::optional<Fault> finite(const NamedFile& nf, const Line& ln, const std::string& name, std::string_view w,
                            double& out) {
  const auto x = number(w);
  if (!x) return Fault::namedNotNumber(nf.file, ln.number, name, shown(w));
  if (std::isinf(*x)) return Fault::namedTooLarge(nf.file, ln.number, name, shown(w));
  out = *x;
  return std::nullopt;
}

// Why a word cannot name a covariate: MARK takes names of up to 10 letters, digits and '_' and
// reads them without case, and the CSV files give each covariate a column beside their own.
std::optional<Fault::NameFault> badName(std::string_view w) {
  if (w.empty() || w.size() > kMaxCovariateName || !isLetter(w[0])) return Fault::NameFault::form;
  for (const char ch : w) {
    if (!isLetter(ch) && !(ch >= '0' && ch <= '9') && ch != '_') return Fault::NameFault::form;
  }
  const std::string l = lower(w);
  for (const Setting& s : kSettings) {
    if (l == s.name || (s.alias != nullptr && l == s.alias)) return Fault::NameFault::setting;
  }
  for (const char* column : {"rep", "ch", "freq", "id", "entered", "died", "effect"}) {
    if (l == column) return Fault::NameFault::column;
  }
  if (l.starts_with("state") && l.size() > 5 && l.find_first_not_of("0123456789", 5) == std::string::npos)
    return Fault::NameFault::column;  // state1 .. stateK
  return std::nullopt;
}

// The place of a covariate named w (without case) among the file's covariate lines; -1: none.
int covariateOf(const NamedFile& nf, std::string_view w) {
  const std::string l = lower(w);
  const auto& names = nf.indivLines.names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (lower(names[i]) == l) return static_cast<int>(i);
  }
  return -1;
}

// A new covariate's name: one MARK takes, not yet given, and within the count.
std::optional<Fault> checkName(const NamedFile& nf, const Line& ln) {
  const std::string_view w = ln.words[1];
  if (const auto why = badName(w)) return Fault::namedCovariateName(nf.file, ln.number, shown(w), *why);
  const std::vector<Covariate>& read = nf.indiv.covariates;
  for (std::size_t i = 0; i < read.size(); ++i) {
    if (lower(read[i].name) == lower(w))
      return Fault::namedTwice(nf.file, ln.number, "covariate " + shown(w), 1, nf.indivLines.covariate[i]);
  }
  if (read.size() >= static_cast<std::size_t>(kMaxCovariates))
    return Fault::namedCovariateName(nf.file, ln.number, std::string(w), Fault::NameFault::tooMany);
  return std::nullopt;
}

// The probabilities of a categorical covariate's values, words 3 on (vals).
std::optional<Fault> readCategories(const NamedFile& nf, const Line& ln, const std::vector<double>& vals,
                                    Covariate& cov) {
  const std::string name = nameOf(ln, 3);
  if (vals.size() < 2) {
    return Fault::namedCount(nf.file, ln.number, name, vals.size(),
                             "2 or more (one probability per category, adding up to 1)");
  }
  double sum = 0;
  for (std::size_t i = 0; i < vals.size(); ++i) {
    if (vals[i] < 0 || vals[i] > 1)
      return Fault::namedRange(nf.file, ln.number, name, shown(ln.words[i + 3]), "probabilities from 0 to 1");
    sum += vals[i];
  }
  if (std::abs(sum - 1) > 1e-9) return Fault::namedCategoriesSum(nf.file, ln.number, cov.name, sum);
  cov.probs = vals;
  return std::nullopt;
}

// A normal covariate's MEAN SD or a uniform one's LOW HIGH, words 3 on (vals).
std::optional<Fault> readLaw(const NamedFile& nf, const Line& ln, const std::vector<double>& vals,
                             Covariate& cov) {
  const std::string name = nameOf(ln, 3);
  const bool normal = cov.law == Law::normal;
  if (vals.size() != 2)
    return Fault::namedCount(nf.file, ln.number, name, vals.size(), normal ? "2 (MEAN SD)" : "2 (LOW HIGH)");
  const auto& w = ln.words;
  if (normal && vals[1] < 0)
    return Fault::namedRange(nf.file, ln.number, name, shown(w[4]), "an SD of 0 or more");
  if (!normal && vals[0] > vals[1]) {
    return Fault::namedRange(nf.file, ln.number, name, shown(w[3]) + " " + shown(w[4]),
                             "LOW HIGH with LOW at most HIGH");
  }
  cov.a = vals[0];
  cov.b = vals[1];
  return std::nullopt;
}

// covariate NAME normal MEAN SD | uniform LOW HIGH | categories P1 P2 ...
std::optional<Fault> readCovariate(NamedFile& nf, const Line& ln) {
  const auto& w = ln.words;
  if (w.size() < 3) {
    return Fault::namedCount(nf.file, ln.number, "covariate", w.size() - 1,
                             "a name, a law and its values (NAME normal MEAN SD, NAME uniform LOW HIGH or "
                             "NAME categories P1 P2 ...)");
  }
  if (auto f = checkName(nf, ln)) return f;
  Covariate cov;
  cov.name = w[1];
  const std::string_view law = w[2];
  if (law == "normal") {
    cov.law = Law::normal;
  } else if (law == "uniform") {
    cov.law = Law::uniform;
  } else if (law == "categories") {
    cov.law = Law::categories;
  } else {
    return Fault::namedLaw(nf.file, ln.number, cov.name, shown(law));
  }
  std::vector<double> vals;
  for (std::size_t i = 3; i < w.size(); ++i) {
    double x = 0;
    if (auto f = finite(nf, ln, nameOf(ln, 3), w[i], x)) return f;
    vals.push_back(x);
  }
  if (auto f = cov.law == Law::categories ? readCategories(nf, ln, vals, cov) : readLaw(nf, ln, vals, cov))
    return f;
  nf.indiv.covariates.push_back(std::move(cov));
  nf.indivLines.covariate.push_back(ln.number);
  return std::nullopt;
}

// The rate a word names, of those a setting moves (move: only an effect's).
std::optional<Rate> rateOf(std::string_view w, bool move) {
  if (w == "p") return Rate::p;
  if (w == "c") return Rate::c;
  if (w == "survival") return Rate::survival;
  if (w == "retention") return Rate::retention;
  if (w == "move" && move) return Rate::move;
  return std::nullopt;
}

// The states of effect move A B, words 2 and 3, into e.
std::optional<Fault> readMove(const NamedFile& nf, const Line& ln, Effect& e) {
  if (nf.states.empty()) return Fault::namedNotMultistate(nf.file, ln.number, "effect move");
  int state[2] = {};
  for (std::size_t i = 0; i < 2; ++i) {
    const std::string_view s = 2 + i < ln.words.size() ? ln.words[2 + i] : std::string_view();
    const std::size_t at = s.size() == 1 ? nf.states.find(s[0]) : std::string::npos;
    if (at == std::string::npos)
      return Fault::namedNotState(nf.file, ln.number, nameOf(ln, 2 + i), shown(s), nf.states);
    state[i] = static_cast<int>(at);
  }
  if (state[0] == state[1])
    return Fault::namedMoveSelf(nf.file, ln.number, nf.states[static_cast<std::size_t>(state[0])]);
  e.from = state[0];
  e.to = state[1];
  return std::nullopt;
}

// The names a covariate of the file may have, each once, as a message lists them.
std::string covariateList(const NamedFile& nf) {
  const auto& names = nf.indivLines.names;
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!badName(names[i]) && covariateOf(nf, names[i]) == static_cast<int>(i))
      list += (list.empty() ? "" : ", ") + names[i];
  }
  return list;
}

// effect RATE NAME BETA, RATE one of p, c, survival, retention, or move A B in a multistate study.
std::optional<Fault> readEffect(NamedFile& nf, const Line& ln) {
  const auto& w = ln.words;
  const std::string rates =
      nf.states.empty() ? "p, c, survival or retention" : "p, c, survival, retention or move A B";
  if (w.size() < 2)
    return Fault::namedCount(nf.file, ln.number, "effect", 0, "RATE NAME BETA, RATE one of " + rates);
  Effect e;
  const auto rate = rateOf(w[1], true);
  if (!rate) return Fault::namedNotRate(nf.file, ln.number, "effect", shown(w[1]), rates);
  e.rate = *rate;
  if (e.rate == Rate::move) {
    if (auto f = readMove(nf, ln, e)) return f;
  }
  const std::size_t first = e.rate == Rate::move ? 4 : 2;  // the covariate's word
  const std::string name = nameOf(ln, first);
  if (w.size() != first + 2)
    return Fault::namedCount(nf.file, ln.number, name, w.size() - first, "2 (a covariate's name and BETA)");
  e.covariate = covariateOf(nf, w[first]);
  if (e.covariate < 0)
    return Fault::namedNotCovariate(nf.file, ln.number, name, shown(w[first]), covariateList(nf));
  const std::string named = nameOf(ln, first + 1);
  if (auto f = finite(nf, ln, named, w[first + 1], e.beta)) return f;
  const std::vector<Effect>& read = nf.indiv.effects;
  for (std::size_t i = 0; i < read.size(); ++i) {
    const Effect& o = read[i];
    if (o.rate == e.rate && o.from == e.from && o.to == e.to && o.covariate == e.covariate)
      return Fault::namedTwice(nf.file, ln.number, named, 1, nf.indivLines.effect[i]);
  }
  nf.indiv.effects.push_back(e);
  nf.indivLines.effect.push_back(ln.number);
  return std::nullopt;
}

// heterogeneity RATE SIGMA, RATE one of p, c, survival, retention; once per rate.
std::optional<Fault> readHeterogeneity(NamedFile& nf, const Line& ln) {
  const auto& w = ln.words;
  const std::string rates = "p, c, survival or retention";
  if (w.size() < 2)
    return Fault::namedCount(nf.file, ln.number, "heterogeneity", 0, "RATE SIGMA, RATE one of " + rates);
  const auto rate = rateOf(w[1], false);
  if (!rate) return Fault::namedNotRate(nf.file, ln.number, "heterogeneity", shown(w[1]), rates);
  const std::string name = nameOf(ln, 2);
  if (w.size() != 3) return Fault::namedCount(nf.file, ln.number, name, w.size() - 2, "1 (SIGMA)");
  double sigma = 0;
  if (auto f = finite(nf, ln, name, w[2], sigma)) return f;
  if (sigma < 0) return Fault::namedRange(nf.file, ln.number, name, shown(w[2]), "a SIGMA of 0 or more");
  long& seen = nf.indivLines.sigma[static_cast<std::size_t>(*rate)];
  if (seen != 0) return Fault::namedTwice(nf.file, ln.number, name, 1, seen);
  seen = ln.number;
  nf.indiv.sigma[static_cast<std::size_t>(*rate)] = sigma;
  nf.indiv.heterogeneity = true;
  return std::nullopt;
}

}  // namespace

bool isIndividual(const Setting& s) {
  return s.slot == kCovariate || s.slot == kEffect || s.slot == kHeterogeneity || s.slot == kNodes;
}

void findCovariates(NamedFile& nf) {
  const std::size_t pos = nf.pos;
  const long line = nf.line;
  nf.indivLines.names.clear();
  for (Line ln; nextLine(nf, ln);) {
    if (ln.words[0] == "covariate" && ln.words.size() >= 2) nf.indivLines.names.emplace_back(ln.words[1]);
  }
  nf.pos = pos;
  nf.line = line;
}

std::optional<Fault> readIndividualLine(NamedFile& nf, const Line& ln, const Setting& s, int set) {
  if (!nf.checking) return std::nullopt;
  const std::string name(ln.words[0]);
  if (!nf.sec.empty()) return Fault::namedIndividualRobust(nf.file, ln.number, name);
  if (set > 1) return Fault::namedIndividualPlace(nf.file, ln.number, name, nf.indivLines.firstDataset);
  switch (s.slot) {
    case kCovariate:
      return readCovariate(nf, ln);
    case kEffect:
      return readEffect(nf, ln);
    case kHeterogeneity:
      return readHeterogeneity(nf, ln);
    default:
      break;
  }
  if (nf.indivLines.nodes != 0) return Fault::namedTwice(nf.file, ln.number, name, 1, nf.indivLines.nodes);
  std::vector<double> vals;
  if (auto f = values(nf, ln, s, vals)) return f;
  nf.indivLines.nodes = ln.number;
  nf.indiv.nodes = static_cast<int>(vals[0]);
  return std::nullopt;
}

void finishIndividuals(NamedFile& nf) {
  auto& sigma = nf.indiv.sigma;
  const auto p = static_cast<std::size_t>(Rate::p), c = static_cast<std::size_t>(Rate::c);
  if (nf.indivLines.sigma[c] == 0) sigma[c] = sigma[p];
}

}  // namespace plovanet::named
