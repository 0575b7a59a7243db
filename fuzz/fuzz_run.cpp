// A whole run on in-memory files. The first bytes choose the options, the rest is the parameter
// file. Set-up is done by hand, as the program's top does once the arguments are applied, so that
// nothing touches the disk.
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
// Expected-value runs also follow the first data sets with the recursion (caphis, caphisRobust in
// a robust design), piece by piece, and check that the driver's engine agrees with it wherever
// every rate lies in 0..1 (no cancellation, so the two orders of summation must agree closely).
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
#include "engine/robust.h"
#include "hand_study.h"
#include "output/records.h"
#include "run/data_sets.h"
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
  bool determ, usef1, thetaflg;
  Recruit recruit;
  int mxgrps;
  Layouts lay;
  std::int32_t seed;
  std::size_t writerCap;
};

// The settings as the command line would leave them.
Control controlOf(const Options& o) {
  Control ctl;
  ctl.determ = o.determ;
  ctl.recruit = o.recruit;
  ctl.usef1 = o.usef1;
  ctl.thetaflg = o.thetaflg;
  ctl.mxgrps = o.mxgrps;
  ctl.lay = o.lay;
  ctl.seed = o.seed;
  return ctl;
}

// A run of those settings reading infp (which it then owns), with its head read by the real
// set-up; false when the file has no head or more occasions than an iteration can afford.
bool headOf(Run& run, std::FILE* infp) {
  run.console = devNull();
  run.seed = runSeed(run.ctl.seed);
  run.rng = seededStream(run.seed);
  run.src.file.reset(infp);
  run.src.in.infp = infp;
  return !readHead(run) && run.design.nper <= 8;
}

// A run that only simulates, with src's design and the mode of its own settings.
void scratchLike(const Run& src, Run& dst) {
  dst.console = devNull();
  dst.report = false;
  dst.seed = runSeed(dst.ctl.seed);
  dst.rng = seededStream(dst.seed);
  dst.design = src.design;
  dst.design.determ = dst.ctl.determ;
  dst.design.thetaflg = dst.ctl.thetaflg;
}

double clamp01(double v) {
  return v > 1 ? 1 : v > 0 ? v : 0;
}
double finiteOr0(double v) {
  return std::isfinite(v) ? v : 0;
}

// A data set's records as one table row, whichever engine kept them (history 0 left at 0).
std::vector<double> rowOf(const Design& d, Column& col) {
  std::vector<double> row(static_cast<std::size_t>(d.dim), 0.0);
  if (col.row) std::copy_n(col.row.get(), d.dim, row.begin());
  for (const TallyEntry& e : tallyHistories(col.tally)) row[static_cast<std::size_t>(e.h)] += e.x;
  std::vector<std::vector<const Cohorts*>> one(1);
  for (const Cohorts& c : col.sources) one[0].push_back(&c);
  auto add = [&row](int h, const char*, const double* x) {
    row[static_cast<std::size_t>(h)] += x[0];
    return true;
  };
  if (!col.sources.empty()) walkHistories(one, 0.0, add);
  std::vector<std::vector<const RobustCohorts*>> robust(1);
  for (const RobustCohorts& c : col.robust) robust[0].push_back(&c);
  if (!col.robust.empty()) walkRobust(robust, 0.0, add);
  row[0] = 0;
  return row;
}

// True when the input stays within the budgets (see the head of this file).
bool withinBudget(const std::uint8_t* text, std::size_t size, const Options& o) {
  const bool stochastic = !o.determ;
  const bool capture = o.lay.captflg && o.mxgrps == 1;  // one record line per animal
  if (!stochastic && !capture) return true;

  std::FILE* fp = fmemopen(const_cast<std::uint8_t*>(text), size, "r");
  if (fp == nullptr) return false;
  Options d = o;
  d.determ = true;
  d.mxgrps = 1;
  const Control ctl = controlOf(o), dryCtl = controlOf(d);
  Run src(ctl), dry(dryCtl);  // src only reads, exactly as the real run will; dry simulates
  bool ok = headOf(src, fp);
  scratchLike(src, dry);
  const auto per = static_cast<std::size_t>(src.design.nper);
  double animals = 0, lines = 0;
  bool refused = false;
  for (int set = 0; ok && !refused && (o.mxgrps == 1 || set < o.mxgrps); ++set) {
    std::optional<DataSet> ds = readFileDataSet(src);
    if (!ds || src.src.in.error) break;  // the run simulates nothing more
    if (stochastic) {
      for (std::size_t k = 0; k < per; ++k) {
        ds->n[k] = finiteOr0(ds->n[k]);
        ds->pa[k] = clamp01(ds->pa[k]);
        ds->p2[k] = clamp01(ds->p2[k]);
        ds->sa[k] = clamp01(ds->sa[k]);
        ds->th[k] = clamp01(ds->th[k]);
        if (o.recruit == Recruit::normal) {
          // z of the normal variate lies within -6..6.
          ds->f[k] = finiteOr0(std::fabs(ds->f[k]) + 6 * std::fabs(ds->sef[k]));
          ds->sef[k] = 0;
        } else {
          ds->f[k] = clamp01(ds->f[k]);
        }
      }
    }
    Column col;
    Totals tot(src.design.nper);
    tot.n = ds->n;
    if (simulate(dry, col, *ds, tot)) return false;
    if (stochastic) {
      for (std::size_t k = 0; k < per; ++k) animals += std::max(tot.talive[k], 0.0);
      ok = animals <= kAnimalBudget;
    } else {
      const std::vector<double> row = rowOf(dry.design, col);
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
  return ok;
}

[[noreturn]] void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

bool allWithin01(const std::vector<double>& a, std::size_t count) {
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

// The recursion, piece by piece, on the entrants the driver used (recruits included); a robust
// design's adds into a tally, then into the table.
void followByRecursion(test::HandStudy& ref, const Totals& used) {
  Stream rng = seededStream(0);  // expected values draw nothing
  Tally robust;
  for (int j = 0; j < periods(ref.d); ++j) {
    const double n = used.n[static_cast<std::size_t>(j)];
    ref.tot.talive[static_cast<std::size_t>(j)] += n;
    if (!(n > 0)) continue;
    if (ref.d.nprim > 0) {
      caphisRobust(ref.d, ref.ds, ref.tot, rng, robust, 0, n, j + 1, -1, true);
    } else {
      test::caphisRow(ref, rng, 0, 0, n, j + 1, -1);
    }
  }
  for (const TallyEntry& e : tallyHistories(robust)) ref.row(0)[e.h] += e.x;
}

// The driver's expected-value engine (closed form, rates within 0..1) against caphis on the
// first data sets.
void compareEngines(const std::uint8_t* text, std::size_t size, const Options& o) {
  std::FILE* fp = fmemopen(const_cast<std::uint8_t*>(text), size, "r");
  if (fp == nullptr) return;
  Options one = o;
  one.mxgrps = 1;
  const Control ctl = controlOf(o), oneCtl = controlOf(one);
  Run src(ctl), pooled(oneCtl);
  bool ok = headOf(src, fp);
  scratchLike(src, pooled);
  const auto per = static_cast<std::size_t>(src.design.nper);
  for (int set = 0; ok && set < 4; ++set) {
    const std::optional<DataSet> ds = readFileDataSet(src);
    if (!ds || src.src.in.error) break;
    bool plain = allWithin01(ds->pa, per) && allWithin01(ds->p2, per) && allWithin01(ds->sa, per) &&
                 allWithin01(ds->th, per) && allWithin01(ds->em, per) && allWithin01(ds->ro, per) &&
                 (o.recruit != Recruit::binomial || allWithin01(ds->f, per));
    for (std::size_t k = 0; k < per; ++k)
      plain = plain && std::isfinite(ds->n[k]) && std::isfinite(ds->f[k]) && std::isfinite(ds->sef[k]);
    if (!plain) continue;
    Column col;
    Totals tot(src.design.nper);
    tot.n = ds->n;
    if (simulate(pooled, col, *ds, tot)) fail("closed form", "a fault");
    const std::vector<double> fast = rowOf(pooled.design, col);
    test::HandStudy ref(src.design.nper);
    ref.d = pooled.design;
    ref.ds = *ds;
    followByRecursion(ref, tot);
    ref.row(0)[0] = 0;
    double scale = 0;
    for (std::size_t k = 0; k < per; ++k)
      scale = std::max({scale, std::fabs(ref.tot.talive[k]), std::fabs(tot.n[k])});
    for (std::size_t k = 0; k < per; ++k) {
      const int i = static_cast<int>(k);
      expectClose("tcap", i, tot.tcap[k], ref.tot.tcap[k], scale);
      expectClose("talive", i, tot.talive[k], ref.tot.talive[k], scale);
    }
    for (int h = 0; h < src.design.dim; ++h)
      expectClose("nx", h, fast[static_cast<std::size_t>(h)], ref.row(0)[h], scale);
  }
}

// The output file of one whole run, or nothing when the file has no head; with csv, a CSV= file
// is written beside it with MINFREQ= minfreq.
std::optional<std::string> wholeRun(const std::uint8_t* data, std::size_t size, const Options& o, bool csv,
                                    double minfreq) {
  std::FILE* infp = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
  if (infp == nullptr) return std::nullopt;
  Control ctl = controlOf(o);
  ctl.minfreq = minfreq;
  Run run(ctl);
  if (!headOf(run, infp)) return std::nullopt;
  char* text = nullptr;
  std::size_t textLen = 0;
  std::FILE* fp = open_memstream(&text, &textLen);
  if (fp == nullptr) return std::nullopt;
  Writer side = makeWriter(std::fopen("/dev/null", "w"));
  if (csv) run.csv = &side;
  run.out = makeWriter(nullptr, o.writerCap);
  if (auto err = prepareRun(run, fp)) fail("set-up", message(*err));

  if (auto err = runDataSets(run)) {
    // The only early ends a run in memory can meet: a data set too many for GROUPS=, a count
    // too large for CAPTURE's one line per animal.
    const bool expected = ctl.mxgrps == 1 ? ctl.lay.captflg && err->failure() == Failure::CaptureTooLarge
                                          : err->failure() == Failure::TooManyDataSets;
    if (!expected) fail("runDataSets", message(*err));
    closeWriter(run.out);
  } else if (auto ferr = finishRun(run)) {
    fail("finishRun", message(*ferr));
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
  o.determ = (data[0] & 1) != 0;
  o.recruit = static_cast<Recruit>(((data[0] >> 1) & 3) % 3);
  o.usef1 = ((data[0] >> 3) & 1) != 0;
  o.thetaflg = ((data[0] >> 4) & 1) != 0;
  const bool csv = (data[0] >> 5) & 1;
  const double minfreqs[] = {kThreshold, 0.0, 1e-9, 0.01};
  const double minfreq = minfreqs[(data[0] >> 6) & 3];
  o.lay.jollyflg = (data[1] & 1) != 0;
  o.lay.captflg = ((data[1] >> 1) & 1) != 0;
  o.lay.markflg = ((data[1] >> 2) & 1) != 0;
  o.mxgrps = 1 + ((data[1] >> 3) & 3) % 3;
  o.seed = static_cast<std::int16_t>(data[2] | data[3] << 8);
  if (o.seed == kClockSeed) o.seed = 0;  // it would seed from the clock
  // Small writer buffers (makeWriter raises the tiniest to its floor) put the flushes at every
  // offset of the records.
  o.writerCap = data[4] < 128 ? std::size_t{1} << 20 : 24 * std::size_t{data[4] - 128U};
  data += 5;
  size -= 5;
  if (size == 0 || !withinBudget(data, size, o)) return 0;
  if (o.determ) compareEngines(data, size, o);
  const auto plain = wholeRun(data, size, o, false, kThreshold);
  // A CSV= file, whatever its MINFREQ=, leaves the output file as it is.
  if (plain && csv && wholeRun(data, size, o, true, minfreq) != plain)
    fail("CSV=", "the output file differs with a CSV= file beside it");
  return 0;
}
