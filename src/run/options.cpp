#include "run/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "run/keywords.h"

namespace plovanet {

const char* const kUsage =
    "usage: plovanet options\n"
    "  input file:plovanet.txt\n  format:\n"
    "   n1,b2,b3,...     (init pop size, recruitment)\n"
    "   s1,s2,s3,...     (survival rates)\n"
    "   th1,th2,th3,...  (tag-retension rates)\n"
    "   p1,p2,p3,...   (capt probs (unmarked)\n"
    "   c1,c2,c3,...  (capt probs (marked)\n"
    "   f1,f2,f3,... (if RECRUIT= specified)\n"
    "   sef1,sef2,sef3,... (if RECRUIT= specified)\n"
    "   n1,n2,n3,... (group 2) or -1,0,0,... (if only 1 group)\n"
    " options:\n"
    "  {CAPTURE|JOLLY|MARK} : create output file in program format\n"
    "  THETA={AGE|TIME}     : Make THETA (tag-retention rates) time specific\n"
    "                                instead of the default (age-specific)\n"
    "  EXP                  : Generate expected values instead of simulated\n"
    "  STOCHASTIC           : Generate simulated values\n"
    "  RECRUIT={BINOMIAL|NORMAL}: specify function for recruitment\n"
    "  USEF1                : Use all f's instead of computing f(1) using n2 and n1\n"
    "  IN=filename          : specify alternate input file instead of plovanet.txt\n"
    "  OUT=filename         : specify alternate output file instead of plovanet.out\n";

std::optional<std::int32_t> parseLong32(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > 2147483648LL) return std::nullopt;  // stop before long digit runs overflow
  }
  if (neg) v = -v;
  if (v > 2147483647LL || v < -2147483648LL) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The value starts a fixed number of characters into the argument, wherever the keyword is.
std::string_view valueAt(std::string_view arg, std::size_t skip) {
  return skip <= arg.size() ? arg.substr(skip) : std::string_view{};
}

}  // namespace

std::optional<double> parseFrequency(std::string_view s) {
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v) || !(v >= 0))
    return std::nullopt;
  return v;
}

namespace {

using Refused = std::optional<Failure>;

// The newer whole-number keywords take digits only, so that REPS=1e3 or CLASSES=2.5 is refused
// instead of read as 1 or 2.
std::optional<std::int32_t> parseWhole(std::string_view s) {
  if (s.empty() || !std::all_of(s.begin(), s.end(), isDigit)) return std::nullopt;
  return parseLong32(s);
}

// What the keywords do, as the table below names them.
template <bool Layouts::*Flag>
Refused layout(std::string_view, Control& ctl, std::FILE*) {
  ctl.lay.*Flag = true;
  return std::nullopt;
}
template <bool Control::*Flag, bool Value>
Refused flag(std::string_view, Control& ctl, std::FILE*) {
  ctl.*Flag = Value;
  return std::nullopt;
}
template <Recruit How>
Refused recruit(std::string_view, Control& ctl, std::FILE*) {
  ctl.recruit = How;
  return std::nullopt;
}
template <std::string Control::*File, Failure TooLong>
Refused fileName(std::string_view value, Control& ctl, std::FILE*) {
  if (value.size() > kMaxName) return TooLong;
  ctl.*File = value;
  return std::nullopt;
}
template <std::string Control::*File>
Refused sideFile(std::string_view value, Control& ctl, std::FILE*) {
  ctl.*File = value;
  return std::nullopt;
}
Refused groups(std::string_view value, Control& ctl, std::FILE* con) {
  const auto v = parseLong32(value);
  if (!v || *v < 1) return Failure::BadGroups;
  ctl.mxgrps = *v;
  std::fprintf(con, "max groups=%ld\n", static_cast<long>(ctl.mxgrps));
  return std::nullopt;
}
Refused seed(std::string_view value, Control& ctl, std::FILE* con) {
  const auto v = parseLong32(value);
  if (!v) return Failure::BadSeed;
  ctl.seed = *v;
  std::fprintf(con, "SEED=%ld\n", static_cast<long>(ctl.seed));
  return std::nullopt;
}
// REPS= and FIRSTREP= each make a study; CLASSES= does not.
template <std::int64_t Control::*Count, Failure Bad, bool Study>
Refused count(std::string_view value, Control& ctl, std::FILE*) {
  const auto v = parseWhole(value);
  if (!v || *v < 1) return Bad;
  ctl.*Count = *v;
  if constexpr (Study) ctl.replicates = true;
  return std::nullopt;
}
Refused rng(std::string_view value, Control& ctl, std::FILE*) {
  if (value != "CLASSIC" && value != "PCG") return Failure::BadRng;
  ctl.rng = value == "PCG" ? StreamKind::pcg32 : StreamKind::classic;
  ctl.rngGiven = true;
  return std::nullopt;
}
Refused minFreq(std::string_view value, Control& ctl, std::FILE*) {
  const auto v = parseFrequency(value);
  if (!v) return Failure::BadMinFreq;
  ctl.minfreq = *v;
  ctl.outfreq = std::min(*v, kThreshold);
  return std::nullopt;
}

using enum Match;

// In the order they are applied: within one argument STOCHASTIC beats EXP and NORMAL beats
// BINOMIAL, and GROUPS= echoes before SEED=.
// clang-format off
constexpr Keyword kKeywordTable[] = {
    {"NOPROMPT", anywhere, nullptr, false, "NOPROMPT", "accepted; has no effect"},
    {"JOLLY", anywhere, layout<&Layouts::jollyflg>, false, {}, {}},
    {"CAPTURE", anywhere, layout<&Layouts::captflg>, false, {}, {}},
    {"MARK", anywhere, layout<&Layouts::markflg>, false, {}, {}},
    {"EXP", anywhere, flag<&Control::determ, true>, false, {}, {}},
    {"DETERM", anywhere, flag<&Control::determ, true>, false, "DETERM", "the same as EXP"},
    {"STOCHASTIC", anywhere, flag<&Control::determ, false>, false, {}, {}},
    {"RECRUIT=BINOMIAL", anywhere, recruit<Recruit::binomial>, false, {}, {}},
    {"RECRUIT=NORMAL", anywhere, recruit<Recruit::normal>, false, {}, {}},
    {"USEF1", anywhere, flag<&Control::usef1, true>, false, {}, {}},
    {"GROUPS=", anywhere, groups, true, "GROUPS=k", "simulate k groups, one data set each, in one table"},
    {"THETA=TIME", anywhere, flag<&Control::thetaflg, true>, false, {}, {}},
    {"THETA=AGE", anywhere, nullptr, false, {}, {}},
    {"IN=", anywhere, fileName<&Control::infile, Failure::LongInName>, false, {}, {}},
    {"OUT=", anywhere, fileName<&Control::outfile, Failure::LongOutName>, false, {}, {}},
    {"SEED=", anywhere, seed, true, "SEED=n", "seed of the random stream (12345, the default: the clock)"},
    {"REPS=", start, count<&Control::reps, Failure::BadReps, true>, false,
     "REPS=r", "simulation study: r replicates, one output file each"},
    {"FIRSTREP=", start, count<&Control::firstrep, Failure::BadFirstRep, true>, false,
     "FIRSTREP=i", "number of the study's first replicate (default 1)"},
    {"RNG=", start, rng, false, "RNG={CLASSIC|PCG}", "random generator (default CLASSIC; PCG for a study or states)"},
    {"TRUTH=", start, sideFile<&Control::truthfile>, false,
     "TRUTH=filename", "also write the true numbers to a CSV file"},
    {"CSV=", start, sideFile<&Control::csvfile>, false,
     "CSV=filename", "also write the capture histories to a CSV file"},
    {"MINFREQ=", start, minFreq, false, "MINFREQ=x", "histories above x in CSV= (and expected values' output if x < 0.00005)"},
    {"STRICT", whole, flag<&Control::strict, true>, false,
     "STRICT", "make every warning an error (status 1)"},
    {"CLASSES=", start, count<&Control::classes, Failure::BadClasses, false>, false,
     "CLASSES=k", "k heterogeneity classes per group, added up"},
    {"INDIVIDUAL", whole, flag<&Control::individual, true>, false,
     "INDIVIDUAL", "with STOCHASTIC: one line per caught animal, with its covariates"},
    {"ANIMALS=", start, sideFile<&Control::animalsfile>, false,
     "ANIMALS=filename", "with STOCHASTIC: also write every animal that entered to a CSV file"},
};
// clang-format on

// An argument of a keyword added later: not searched for the older keywords.
bool isNewer(std::string_view arg) {
  return std::any_of(std::begin(kKeywordTable), std::end(kKeywordTable),
                     [arg](const Keyword& k) { return k.match != Match::anywhere && matches(k, arg); });
}

}  // namespace

const std::span<const Keyword> kKeywords = kKeywordTable;

std::optional<Failure> applyArgument(std::string_view arg, Control& ctl, std::FILE* con) {
  // Keywords added later stand at the start of their argument, and the rest of such an argument
  // (a file name, a number) is not searched for the older keywords: CSV=EXPERIMENT.csv selects
  // no expected values.
  const bool newer = isNewer(arg);
  for (const Keyword& k : kKeywords) {
    if (k.apply == nullptr || (newer && k.match == Match::anywhere) || !matches(k, arg)) continue;
    if (const auto refused = k.apply(valueAt(arg, k.key.size()), ctl, con)) return refused;
  }
  std::fwrite(arg.data(), 1, arg.size(), con);
  std::fputc('\n', con);
  return std::nullopt;
}

namespace {

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return u;
}

bool matchesKeyword(std::string_view arg) {
  return std::any_of(std::begin(kKeywords), std::end(kKeywords),
                     [arg](const Keyword& k) { return matches(k, arg); });
}

}  // namespace

// Edits (insert, delete, replace, swap of neighbours) that turn a into b.
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] =
          std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

std::optional<std::string_view> resemblingKeyword(std::string_view arg) {
  if (arg.empty() || matchesKeyword(arg)) return std::nullopt;
  const auto eq = arg.find('=');
  for (const Keyword& kw : kKeywords) {
    const std::string_view k = kw.key;
    // A value keyword is compared up to its "=", the value being the user's own.
    std::string typed = upper(k.back() == '=' && eq != std::string_view::npos ? arg.substr(0, eq + 1) : arg);
    if (k.back() == '=' && eq == std::string_view::npos) typed += '=';
    if (typed == k || editDistance(typed, k) <= (k.size() <= 4 ? 1U : 2U)) return k;
  }
  return std::nullopt;
}

std::optional<Fault> looseNumber(std::string_view arg) {
  if (isNewer(arg)) return std::nullopt;
  for (const Keyword& k : kKeywords) {
    if (!k.looseNumber || !matches(k, arg)) continue;
    const std::string_view v = valueAt(arg, k.key.size());
    const std::string_view digits = v.starts_with('-') || v.starts_with('+') ? v.substr(1) : v;
    const bool plain = !digits.empty() && std::all_of(digits.begin(), digits.end(), isDigit);
    const auto used = parseLong32(v);
    if (!plain && used) return Fault::looseNumber(std::string(k.key), *used, std::string(arg));
  }
  return std::nullopt;
}

// The usage text shows the numeric format alone, with commas its reader stops at; the lines after
// it say what came later, a few lines each, and where the rest is.
std::string helpText() {
  std::string text = kUsage;
  text += " more options (from REPS= on, each must begin its argument):\n";
  for (const Keyword& k : kKeywords) {
    if (k.help.empty()) continue;  // in the usage text
    text.append("  ").append(k.shown);
    text.append(k.shown.size() < 20 ? 20 - k.shown.size() : 0, ' ');
    text.append(" : ").append(k.help) += '\n';
  }
  text +=
      " numeric format (above): separate the values with blanks or line ends, not commas\n"
      " named format: a file that begins with a word, one setting per line (name, values; one\n"
      "   value stands for all); '#' starts a comment; \"dataset\" starts the next data set as\n"
      "   a copy of the one before; f and sef with RECRUIT=; group and class only check:\n"
      "   occasions 5 / entrants 500 100 100 100 100 / survival 0.8 / retention 0.95 / p 0.3\n"
      " robust design: \"secondaries 3\" right after occasions (per primary, or one for all);\n"
      "   emigrate and remain_out per interval between primaries (MARK's Gamma'' and Gamma'),\n"
      "   p and c per secondary occasion; written plain, with CSV= or for MARK\n"
      " multistate study: a named file with \"states A B\" right after occasions; each per-state\n"
      "   setting then takes a state's letter or none for all (\"p B 0.2\", \"move A B 0.1\")\n"
      " live-dead study: \"encounters livedead\" (or barker) right after occasions; survival and\n"
      "   report take K values, fidelity K-1; barker adds resight, resight_dead and return\n"
      " individual animals, before the first dataset: \"covariate mass normal 20 3\" (or uniform\n"
      "   LOW HIGH, categories P1 P2 ...), \"effect p mass 0.1\", \"heterogeneity p 1\", \"nodes 20\"\n"
      " manual: man plovanet (doc/plovanet.1 in the sources), with every setting and message\n";
  return text;
}

}  // namespace plovanet
