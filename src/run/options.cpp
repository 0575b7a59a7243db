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

bool has(std::string_view arg, std::string_view key) {
  return arg.find(key) != std::string_view::npos;
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

// An argument of a keyword added later: not searched for the older keywords.
bool isNewer(std::string_view arg) {
  return std::any_of(std::begin(kKeywords), std::end(kKeywords),
                     [arg](const Keyword& k) { return k.match != Match::anywhere && matches(k, arg); });
}

// The newer whole-number keywords take digits only, so that REPS=1e3 or CLASSES=2.5 is refused
// instead of read as 1 or 2.
std::optional<std::int32_t> parseWhole(std::string_view s) {
  if (s.empty() || !std::all_of(s.begin(), s.end(), isDigit)) return std::nullopt;
  return parseLong32(s);
}

// Keywords added later stand at the start of their argument, and the rest of such an argument
// (a file name, a number) is not searched for the older keywords: CSV=EXPERIMENT.csv selects no
// expected values. Returns true when arg is one of them.
bool applyNewer(std::string_view arg, Control& ctl, std::optional<Failure>& failure) {
  const auto fail = [&failure](Failure f) {
    failure = f;
    return true;
  };
  if (arg.starts_with("REPS=")) {
    const auto v = parseWhole(valueAt(arg, 5));
    if (!v || *v < 1) return fail(Failure::BadReps);
    ctl.reps = *v;
    ctl.replicates = true;
    return true;
  }
  if (arg.starts_with("FIRSTREP=")) {
    const auto v = parseWhole(valueAt(arg, 9));
    if (!v || *v < 1) return fail(Failure::BadFirstRep);
    ctl.firstrep = *v;
    ctl.replicates = true;
    return true;
  }
  if (arg.starts_with("RNG=")) {
    const auto v = valueAt(arg, 4);
    if (v != "CLASSIC" && v != "PCG") return fail(Failure::BadRng);
    ctl.rng = v == "PCG" ? StreamKind::pcg32 : StreamKind::classic;
    ctl.rngGiven = true;
    return true;
  }
  if (arg.starts_with("CLASSES=")) {
    const auto v = parseWhole(valueAt(arg, 8));
    if (!v || *v < 1) return fail(Failure::BadClasses);
    ctl.classes = *v;
    return true;
  }
  if (arg.starts_with("TRUTH=")) {
    ctl.truthfile = valueAt(arg, 6);
    return true;
  }
  if (arg.starts_with("CSV=")) {
    ctl.csvfile = valueAt(arg, 4);
    return true;
  }
  if (arg.starts_with("MINFREQ=")) {
    const auto v = parseFrequency(valueAt(arg, 8));
    if (!v) return fail(Failure::BadMinFreq);
    ctl.minfreq = *v;
    return true;
  }
  if (arg == "STRICT") {
    ctl.strict = true;
    return true;
  }
  return false;
}

}  // namespace

std::optional<Failure> applyArgument(std::string_view arg, Control& ctl, std::FILE* con) {
  std::optional<Failure> failure;
  if (applyNewer(arg, ctl, failure)) {
    if (failure) return failure;
  } else {
    if (has(arg, "JOLLY")) ctl.lay.jollyflg = true;
    if (has(arg, "CAPTURE")) ctl.lay.captflg = true;
    if (has(arg, "MARK")) ctl.lay.markflg = true;
    if (has(arg, "EXP")) ctl.determ = true;
    if (has(arg, "DETERM")) ctl.determ = true;
    if (has(arg, "STOCHASTIC")) ctl.determ = false;
    if (has(arg, "RECRUIT=BINOMIAL")) ctl.recruit = Recruit::binomial;
    if (has(arg, "RECRUIT=NORMAL")) ctl.recruit = Recruit::normal;
    if (has(arg, "USEF1")) ctl.usef1 = true;
    if (has(arg, "GROUPS=")) {
      const auto v = parseLong32(valueAt(arg, 7));
      if (!v || *v < 1) return Failure::BadGroups;
      ctl.mxgrps = *v;
      std::fprintf(con, "max groups=%ld\n", static_cast<long>(ctl.mxgrps));
    }
    if (has(arg, "THETA=TIME")) ctl.thetaflg = true;
    if (has(arg, "IN=")) {
      const auto v = valueAt(arg, 3);
      if (v.size() > kMaxName) return Failure::LongInName;
      ctl.infile = v;
    }
    if (has(arg, "OUT=")) {
      const auto v = valueAt(arg, 4);
      if (v.size() > kMaxName) return Failure::LongOutName;
      ctl.outfile = v;
    }
    if (has(arg, "SEED=")) {
      const auto v = parseLong32(valueAt(arg, 5));
      if (!v) return Failure::BadSeed;
      ctl.seed = *v;
      std::fprintf(con, "SEED=%ld\n", static_cast<long>(ctl.seed));
    }
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
  for (const auto& [key, skip] : {std::pair<std::string_view, std::size_t>{"GROUPS=", 7}, {"SEED=", 5}}) {
    if (!has(arg, key)) continue;
    const std::string_view v = valueAt(arg, skip);
    const std::string_view digits = v.starts_with('-') || v.starts_with('+') ? v.substr(1) : v;
    const bool plain = !digits.empty() && std::all_of(digits.begin(), digits.end(), isDigit);
    const auto used = parseLong32(v);
    if (!plain && used) return Fault::looseNumber(std::string(key), *used, std::string(arg));
  }
  return std::nullopt;
}

std::string helpText() {
  std::string text = kUsage;
  for (const Keyword& k : kKeywords) {
    if (k.help.empty()) continue;  // in the usage text
    text.append("  ").append(k.shown);
    text.append(k.shown.size() < 20 ? 20 - k.shown.size() : 0, ' ');
    text.append(" : ").append(k.help) += '\n';
  }
  text += " manual: man plovanet (doc/plovanet.1 in the sources)\n";
  return text;
}

}  // namespace plovanet
