// A whole run on in-memory files. The first bytes choose the options, the rest is the parameter
// file. Set-up is done by hand, as setUp does once the arguments are applied, so that nothing
// touches the disk.
//
// Run time. Two things grow with the numbers in the file rather than with its length: a
// stochastic run draws its waiting-time binomials one rare event at a time, and a CAPTURE record
// block writes one line per animal. Exponents, the division of n[0] by p[0] and recruitment let a
// short file name astronomically many animals, so no limit on token length can bound them.
// Instead every data set is first read and simulated on a scratch copy with the expected-value
// engine, which costs O(2^nper) whatever the counts, and the input is skipped when that shows
// too many animals:
// - stochastic: rates clamped to 0..1 (a stochastic split never yields more than its batch,
//   whatever the rate), normal recruitment at its upper tail; infinite or NaN counts are left
//   out, since every split of them is again infinite, NaN or 0, which costs nothing (and a
//   CAPTURE record block refuses such a count at once);
// - CAPTURE with one group: the same run exactly, counting the lines the record block will write
//   up to the first count it refuses, where the run ends.
//
// Expected-value runs also follow the first data sets with caphis, piece by piece, and check that
// the pooled engine agrees with it wherever every rate lies in 0..1 (no cancellation, so the two
// orders of summation must agree closely).
//
// With bit 5 of the first byte the run is made again with a CSV= file and a MINFREQ= from bits
// 6-7, and its output file must be the same bytes: the CSV threshold never reaches the output.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/caphis.h"
#include "output/records.h"
#include "run/driver.h"
#include "run/param_reader.h"
#include "run/setup.h"

using namespace plovanet;

namespace {

constexpr double kAnimalBudget = 2e5;  // animals a stochastic input may put through the recursion
constexpr double kLineBudget = 2e5;    // CAPTURE record lines

std::FILE* devNull() {
  static std::FILE* fp = std::fopen("/dev/null", "w");
  return fp;
}

struct Options {
  int determ, recruit, usef1, thetaflg, mxgrps;
  Layouts lay;
  std::int32_t seed;
  std::size_t writerCap;
};

// The settings as the command line would leave them.
void configure(Run& run, const Options& o) {
  run.console = devNull();
  run.ctl.recruit = o.recruit;
  run.ctl.usef1 = o.usef1;
  run.ctl.lay = o.lay;
  run.ctl.seed = o.seed;
  run.rs.determ = o.determ;
  run.rs.thetaflg = o.thetaflg;
  run.rs.mxgrps = o.mxgrps;
  run.rng = seededStream(runSeed(o.seed));
}

// The head, read by the real set-up; occasions are kept few so that an iteration stays fast.
bool headOf(Run& run, std::FILE* infp) {
  run.in.infp = infp;
  return !readHead(run) && run.rs.nper <= 8;
}

double clamp01(double v) {
  return v > 1 ? 1 : v > 0 ? v : 0;
}
double finiteOr0(double v) {
  return std::isfinite(v) ? v : 0;
}

// Run state for a second simulation of the data set src has just read.
void loadDataSet(const Run& src, Run& dst) {
  const int nper = src.rs.nper;
  for (auto [from, to] : {std::pair{&src.ctl.n, &dst.ctl.n},
                          {&src.ctl.f, &dst.ctl.f},
                          {&src.ctl.sef, &dst.ctl.sef},
                          {&src.rs.pa, &dst.rs.pa},
                          {&src.rs.p2, &dst.rs.p2},
                          {&src.rs.sa, &dst.rs.sa},
                          {&src.rs.th, &dst.rs.th}}) {
    std::copy_n(from->get(), nper, to->get());
  }
  std::fill_n(dst.rs.tcap.get(), nper, 0.0);
  std::fill_n(dst.rs.talive.get(), nper, 0.0);
}

// A scratch Run with src's sizes and these options; false when it cannot be set up.
bool scratchLike(const Run& src, Run& dst, const Options& o) {
  configure(dst, o);
  dst.rs.nper = src.rs.nper;
  dst.rs.dim = src.rs.dim;
  return !allocateRun(dst);
}

// A data set's records as one table row, whichever engine kept them (history 0 left at 0).
std::vector<double> rowOf(const Run& run, Column& col) {
  std::vector<double> row(static_cast<std::size_t>(run.rs.dim), 0.0);
  if (col.row) std::copy_n(col.row.get(), run.rs.dim, row.begin());
  for (const TallyEntry& e : tallyHistories(col.tally)) row[static_cast<std::size_t>(e.h)] += e.x;
  std::vector<std::vector<const Cohorts*>> one(1);
  for (const Cohorts& c : col.sources) one[0].push_back(&c);
  auto add = [&row](int h, const char*, const double* x) {
    row[static_cast<std::size_t>(h)] += x[0];
    return true;
  };
  if (!col.sources.empty()) walkHistories(one, 0.0, add);
  row[0] = 0;
  return row;
}

// True when the input stays within the budgets (see the head of this file).
bool withinBudget(const std::uint8_t* text, std::size_t size, const Options& o) {
  const bool stochastic = o.determ == 0;
  const bool capture = o.lay.captflg == 1 && o.mxgrps == 1;  // one record line per animal
  if (!stochastic && !capture) return true;

  std::FILE* fp = fmemopen(const_cast<std::uint8_t*>(text), size, "r");
  if (fp == nullptr) return false;
  Run src, dry;  // src only reads, exactly as the real run will; dry simulates
  Options d = o;
  d.determ = 1;
  d.mxgrps = 1;
  configure(src, o);
  bool ok = headOf(src, fp) && !allocateRun(src) && scratchLike(src, dry, d);
  const auto per = static_cast<std::size_t>(src.rs.nper);
  double animals = 0, lines = 0;
  bool refused = false;
  for (int set = 0; ok && !refused && (o.mxgrps == 1 || set < o.mxgrps); ++set) {
    if (!readFileDataSet(src)) break;
    loadDataSet(src, dry);
    if (stochastic) {
      for (std::size_t k = 0; k < per; ++k) {
        dry.ctl.n[k] = finiteOr0(dry.ctl.n[k]);
        dry.rs.pa[k] = clamp01(dry.rs.pa[k]);
        dry.rs.p2[k] = clamp01(dry.rs.p2[k]);
        dry.rs.sa[k] = clamp01(dry.rs.sa[k]);
        dry.rs.th[k] = clamp01(dry.rs.th[k]);
        if (o.recruit == 2) {
          // z of the normal variate lies within -6..6.
          dry.ctl.f[k] = finiteOr0(std::fabs(dry.ctl.f[k]) + 6 * std::fabs(dry.ctl.sef[k]));
          dry.ctl.sef[k] = 0;
        } else {
          dry.ctl.f[k] = clamp01(dry.ctl.f[k]);
        }
      }
    }
    Column col;
    if (runOccasions(dry, col)) return false;
    if (stochastic) {
      for (std::size_t k = 0; k < per; ++k) animals += std::max(dry.rs.talive[k], 0.0);
      ok = animals <= kAnimalBudget;
    } else {
      const std::vector<double> row = rowOf(dry, col);
      for (std::size_t h = 1; ok && h < row.size(); ++h) {
        if (!(row[h] > kThreshold)) continue;
        const double reps = std::floor(row[h] + 0.5);
        if (!(reps <= INT_MAX)) {
          refused = true;  // the run ends here with its message
          break;
        }
        lines += reps;
        ok = lines <= kLineBudget;
      }
    }
  }
  std::fclose(fp);
  return ok;
}

[[noreturn]] void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

bool allWithin01(const Array& a, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) {
    if (!(a[k] >= 0 && a[k] <= 1)) return false;
  }
  return true;
}

void expectClose(const char* what, int index, double pooled, double reference, double scale) {
  const double tol = 1e-9 * (std::fabs(pooled) + std::fabs(reference)) + 1e-12 * scale;
  if (!(std::fabs(pooled - reference) <= tol)) {
    char tmp[200];
    std::snprintf(tmp, sizeof tmp, "%s[%d]: pooled %.17g, caphis %.17g", what, index, pooled, reference);
    fail("engines disagree", tmp);
  }
}

// The recursion, piece by piece, on the entrants the driver used (recruits included).
void followByRecursion(Run& ref, const Run& used) {
  RunState& rs = ref.rs;
  for (int j = 0; j < rs.nper; ++j) {
    const double n = used.ctl.n[j];
    rs.talive[j] += n;
    if (n > 0) caphis(rs, ref.rng, 0, n, j + 1, -1);
  }
}

// The driver's expected-value engine (closed form, rates within 0..1) against caphis on the
// first data sets.
void compareEngines(const std::uint8_t* text, std::size_t size, const Options& o) {
  std::FILE* fp = fmemopen(const_cast<std::uint8_t*>(text), size, "r");
  if (fp == nullptr) return;
  Options one = o;
  one.mxgrps = 1;
  Run src, pooled, ref;
  configure(src, o);
  bool ok = headOf(src, fp) && !allocateRun(src) && scratchLike(src, pooled, one) &&
            scratchLike(src, ref, one);
  const auto per = static_cast<std::size_t>(src.rs.nper);
  for (int set = 0; ok && set < 4 && readFileDataSet(src); ++set) {
    bool plain = allWithin01(src.rs.pa, per) && allWithin01(src.rs.p2, per) && allWithin01(src.rs.sa, per) &&
                 allWithin01(src.rs.th, per) && (o.recruit != 1 || allWithin01(src.ctl.f, per));
    for (std::size_t k = 0; k < per; ++k) {
      plain = plain && std::isfinite(src.ctl.n[k]) && std::isfinite(src.ctl.f[k]) &&
              std::isfinite(src.ctl.sef[k]);
    }
    if (!plain) continue;
    loadDataSet(src, pooled);
    loadDataSet(src, ref);
    Column col;
    if (runOccasions(pooled, col)) fail("closed form", "a fault");
    const std::vector<double> fast = rowOf(pooled, col);
    ref.rs.nx = allocArray(static_cast<std::size_t>(ref.rs.dim));
    followByRecursion(ref, pooled);
    ref.rs.row(0)[0] = 0;
    double scale = 0;
    for (std::size_t k = 0; k < per; ++k)
      scale = std::max({scale, std::fabs(ref.rs.talive[k]), std::fabs(pooled.ctl.n[k])});
    for (std::size_t k = 0; k < per; ++k) {
      const int i = static_cast<int>(k);
      expectClose("tcap", i, pooled.rs.tcap[k], ref.rs.tcap[k], scale);
      expectClose("talive", i, pooled.rs.talive[k], ref.rs.talive[k], scale);
    }
    for (int h = 0; h < src.rs.dim; ++h)
      expectClose("nx", h, fast[static_cast<std::size_t>(h)], ref.rs.row(0)[h], scale);
  }
  std::fclose(fp);
}

// The output file of one whole run, or nothing when the file has no head; with csv, a CSV= file
// is written beside it with MINFREQ= minfreq.
std::optional<std::string> wholeRun(const std::uint8_t* data, std::size_t size, const Options& o, bool csv,
                                    double minfreq) {
  std::FILE* infp = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
  if (infp == nullptr) return std::nullopt;
  Run run;
  configure(run, o);
  run.ctl.minfreq = minfreq;
  if (!headOf(run, infp)) {
    std::fclose(infp);
    return std::nullopt;
  }
  char* text = nullptr;
  std::size_t textLen = 0;
  std::FILE* fp = open_memstream(&text, &textLen);
  if (fp == nullptr) {
    std::fclose(infp);
    return std::nullopt;
  }
  Writer side = makeWriter(std::fopen("/dev/null", "w"));
  if (csv) run.csv = &side;
  run.out = makeWriter(nullptr, o.writerCap);
  if (auto err = prepareRun(run, fp)) fail("set-up", message(*err));

  if (auto err = runDataSets(run)) {
    // The only early ends a run in memory can meet: a data set too many for GROUPS=, a count
    // too large for CAPTURE's one line per animal.
    const bool expected = run.rs.mxgrps == 1
                              ? run.ctl.lay.captflg == 1 && err->failure() == Failure::CaptureTooLarge
                              : err->failure() == Failure::TooManyDataSets;
    if (!expected) fail("runDataSets", message(*err));
    closeWriter(run.out);
    std::fclose(run.in.infp);
  } else if (auto ferr = finishRun(run)) {
    fail("finishRun", message(*ferr));
  } else {
    std::fclose(run.in.infp);  // the parameter file is the caller's to close
  }
  flush(side);
  std::string out(text, textLen);
  std::free(text);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  Options o{};
  o.determ = data[0] & 1;
  o.recruit = ((data[0] >> 1) & 3) % 3;
  o.usef1 = (data[0] >> 3) & 1;
  o.thetaflg = (data[0] >> 4) & 1;
  const bool csv = (data[0] >> 5) & 1;
  const double minfreqs[] = {kThreshold, 0.0, 1e-9, 0.01};
  const double minfreq = minfreqs[(data[0] >> 6) & 3];
  o.lay.jollyflg = data[1] & 1;
  o.lay.captflg = (data[1] >> 1) & 1;
  o.lay.markflg = (data[1] >> 2) & 1;
  o.mxgrps = 1 + ((data[1] >> 3) & 3) % 3;
  o.seed = static_cast<std::int16_t>(data[2] | data[3] << 8);
  if (o.seed == 12345) o.seed = 0;  // 12345 would seed from the clock
  // Small writer buffers (makeWriter raises the tiniest to its floor) put the flushes at every
  // offset of the records.
  o.writerCap = data[4] < 128 ? std::size_t{1} << 20 : 24 * std::size_t{data[4] - 128U};
  data += 5;
  size -= 5;
  if (size == 0 || !withinBudget(data, size, o)) return 0;
  if (o.determ != 0) compareEngines(data, size, o);
  const auto plain = wholeRun(data, size, o, false, kThreshold);
  // A CSV= file, whatever its MINFREQ=, leaves the output file as it is.
  if (plain && csv && wholeRun(data, size, o, true, minfreq) != plain)
    fail("CSV=", "the output file differs with a CSV= file beside it");
  return 0;
}
