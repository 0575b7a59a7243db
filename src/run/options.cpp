#include "run/options.h"

#include <cstdio>

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

bool has(std::string_view arg, std::string_view key) {
  return arg.find(key) != std::string_view::npos;
}

// The value starts a fixed number of characters into the argument, wherever the keyword is.
std::string_view valueAt(std::string_view arg, std::size_t skip) {
  return skip <= arg.size() ? arg.substr(skip) : std::string_view{};
}

}  // namespace

std::optional<Failure> applyArgument(std::string_view arg, Control& ctl, RunState& rs, std::FILE* con) {
  if (has(arg, "JOLLY")) ctl.lay.jollyflg = 1;
  if (has(arg, "CAPTURE")) ctl.lay.captflg = 1;
  if (has(arg, "MARK")) ctl.lay.markflg = 1;
  if (has(arg, "EXP")) rs.determ = 1;
  if (has(arg, "DETERM")) rs.determ = 1;
  if (has(arg, "STOCHASTIC")) rs.determ = 0;
  if (has(arg, "RECRUIT=BINOMIAL")) ctl.recruit = 1;
  if (has(arg, "RECRUIT=NORMAL")) ctl.recruit = 2;
  if (has(arg, "USEF1")) ctl.usef1 = 1;
  if (has(arg, "GROUPS=")) {
    const auto v = parseLong32(valueAt(arg, 7));
    if (!v || *v < 1) return Failure::BadGroups;
    rs.mxgrps = *v;
    std::fprintf(con, "max groups=%ld\n", static_cast<long>(rs.mxgrps));
  }
  if (has(arg, "THETA=TIME")) rs.thetaflg = 1;
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
  std::fwrite(arg.data(), 1, arg.size(), con);
  std::fputc('\n', con);
  return std::nullopt;
}

}  // namespace plovanet
