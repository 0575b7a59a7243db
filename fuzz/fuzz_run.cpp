// A whole run on in-memory files. The first bytes choose the options, the rest is the parameter
// file. The run is the library's (run/driver.h: runStudy) with the records written into memory
// (run/records_sink.h), so that nothing touches the disk.
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
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/model.h"
#include "engine/ordinary/caphis.h"
#include "engine/robust/robust.h"
#include "hand_study.h"
#include "output/records.h"
#include "run/data_sets.h"
#include "run/driver.h"
#include "run/records_sink.h"

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

// A run of those settings reading infp (which it then owns): its data sets and configuration, as
// the program's top makes them; none when the file has no head or more occasions than an
// iteration can afford.
struct Loaded {
  std::unique_ptr<FileDataSets> data;
  std::optional<RunConfig> cfg;
  Console con{devNull(), false, false};
};

bool load(Loaded& l, const Control& ctl, std::FILE* infp) {
  l.data = std::make_unique<FileDataSets>(ctl, infp, l.con);
  Design design;
  if (l.data->readHead(design) || design.nper > 8) return false;
  l.cfg.emplace(ctl, design, runSeed(ctl.seed));
  l.data->start(*l.cfg, false);
  return true;
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
  auto add = [&row](int h, const char*, const double* x) {
    row[static_cast<std::size_t>(h)] += x[0];
    return true;
  };
  if (auto* t = std::get_if<Tally>(&col)) {
    for (const TallyEntry& e : tallyHistories(*t)) row[static_cast<std::size_t>(e.h)] += e.x;
  } else if (auto* o = std::get_if<OrdinaryRecords>(&col)) {
    if (o->row) std::copy_n(o->row.get(), d.dim, row.begin());
    std::vector<std::vector<const Cohorts*>> one(1);
    for (const Cohorts& c : o->sources) one[0].push_back(&c);
    if (!o->sources.empty()) walkHistories(one, 0.0, add);
  } else if (auto* r = std::get_if<RobustRecords>(&col)) {
    std::vector<std::vector<const RobustCohorts*>> one(1);
    for (const RobustCohorts& c : r->sources) one[0].push_back(&c);
    if (!r->sources.empty()) walkRobust(one, 0.0, add);
  }
  row[0] = 0;
  return row;
}

// One data set simulated alone with cfg's engine.
std::optional<Fault> simulateOne(const RunConfig& cfg, Column& col, const DataSet& ds, Totals& tot) {
  Replicate r(cfg, 1);
  Console quiet{devNull(), false, false};
  Workspace work;
  return simulate(cfg, r, col, ds, tot, quiet, work);
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
  const Control ctl = controlOf(o);
  Loaded src;  // reads exactly as the real run will
  bool ok = load(src, ctl, fp);
  if (!ok) return false;
  Design dryDesign = src.cfg->design();  // simulates every data set's expected values
  dryDesign.determ = true;
  // Animals drawn one at a time cost what their entrants say; the quadrature would only be slow.
  dryDesign.indiv = Individuals{};
  const RunConfig dry(controlOf(d), dryDesign, src.cfg->seed);
  const auto per = static_cast<std::size_t>(dryDesign.nper);
  double animals = 0, lines = 0;
  bool refused = false;
  for (int set = 0; ok && !refused && (o.mxgrps == 1 || set < o.mxgrps); ++set) {
    std::optional<DataSet> ds = src.data->readOne();
    if (!ds || src.data->readError()) break;  // the run simulates nothing more
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
    Column col = dry.model->column();
    Totals tot(dryDesign.nper);
    tot.n = ds->n;
    if (simulateOne(dry, col, *ds, tot)) return false;
    if (stochastic) {
      for (std::size_t k = 0; k < per; ++k) animals += std::max(tot.talive[k], 0.0);
      ok = animals <= kAnimalBudget;
    } else {
      const std::vector<double> row = rowOf(dryDesign, col);
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
  const int periods = makeModel(ref.d)->periods();
  for (int j = 0; j < periods; ++j) {
    const double n = used.n[static_cast<std::size_t>(j)];
    ref.tot.talive[static_cast<std::size_t>(j)] += n;
    if (!(n > 0)) continue;
    if (ref.d.nprim > 0) {
      caphisRobust(ref.d, ref.ds, ref.tot, rng, robust, {0, n, j + 1}, std::nullopt, true);
    } else {
      test::caphisRow(ref, rng, 0, n, j + 1);
    }
  }
  for (const TallyEntry& e : tallyHistories(robust)) ref.row(0)[e.h] += e.x;
}

// A multistate data set's closed form (in col, its totals in tot) against its recursion in
// expected values, history by history; small designs only, as the recursion follows every
// branch.
void compareMultistate(const Design& d, const DataSet& ds, const Totals& tot, Column& col) {
  if (d.nper > 7 || d.states.size() > 3) return;
  const StateTables r(d, ds);
  const Symbols sym(d.states);
  Totals ref(d.nper);
  ref.states.assign(d.states.size(), Totals(d.nper));
  StateTally t;
  Stream rng = seededStream(0);  // expected values draw nothing
  for (int j = 0; j < d.nper; ++j) {
    for (int s = 0; s < r.S; ++s) {
      const double n = r.n[r.at(j, s)];
      ref.states[static_cast<std::size_t>(s)].talive[static_cast<std::size_t>(j)] += n;
      if (n > 0) caphisMultistate(d, r, sym, ref, rng, t, 0, n, j + 1, s, std::nullopt);
    }
  }
  sumStates(ref, 0);
  double scale = 0;
  for (std::size_t k = 0; k < static_cast<std::size_t>(d.nper); ++k)
    scale = std::max({scale, std::fabs(ref.talive[k]), std::fabs(tot.n[k])});
  for (std::size_t k = 0; k < static_cast<std::size_t>(d.nper); ++k) {
    expectClose("tcap", static_cast<int>(k), tot.tcap[k], ref.tcap[k], scale);
    expectClose("talive", static_cast<int>(k), tot.talive[k], ref.talive[k], scale);
  }
  std::map<std::string, std::pair<double, double>> both;  // closed form, recursion
  const auto into = [&both, &d](bool second) {
    return [&both, &d, second](int, const char* digits, const double* x) {
      auto& v = both[std::string(digits, static_cast<std::size_t>(d.nper))];
      (second ? v.second : v.first) += x[0];
      return true;
    };
  };
  auto& rec = std::get<MultistateRecords>(col);
  walkMultistate({{&rec.sources[0]}}, sym, 0.0, into(false));
  walkStateTallies({&t}, d.nper, sym, 0.0, into(true));
  int i = 0;
  for (const auto& [h, v] : both) expectClose(h.c_str(), i++, v.first, v.second, scale);
}

// The driver's expected-value engine (closed form, rates within 0..1) against caphis on the
// first data sets.
void compareEngines(const std::uint8_t* text, std::size_t size, const Options& o) {
  std::FILE* fp = fmemopen(const_cast<std::uint8_t*>(text), size, "r");
  if (fp == nullptr) return;
  Options one = o;
  one.mxgrps = 1;
  Loaded src;
  if (!load(src, controlOf(o), fp)) return;
  const Design& design = src.cfg->design();
  const RunConfig pooled(controlOf(one), design, src.cfg->seed);
  const auto per = static_cast<std::size_t>(design.nper);
  for (int set = 0; set < 4; ++set) {
    const std::optional<DataSet> ds = src.data->readOne();
    if (!ds || src.data->readError()) break;
    bool plain = allWithin01(ds->pa, per) && allWithin01(ds->p2, per) && allWithin01(ds->sa, per) &&
                 allWithin01(ds->th, per) && allWithin01(ds->em, per) && allWithin01(ds->ro, per) &&
                 (o.recruit != Recruit::binomial || allWithin01(ds->f, per));
    for (std::size_t k = 0; k < per; ++k)
      plain = plain && std::isfinite(ds->n[k]) && std::isfinite(ds->f[k]) && std::isfinite(ds->sef[k]);
    // Individual settings integrate over nodes, each its own data set: held to their own
    // checks (tests/engine/individual_test.cpp), not to the plain recursion.
    if (!plain || design.indiv.active()) continue;
    Column col = pooled.model->column();
    Totals tot(design.nper);
    tot.n = ds->n;
    if (auto f = simulateOne(pooled, col, *ds, tot)) {
      if (f->failure() == Failure::NotFinite) continue;  // refused before any record: nothing to compare
      fail("closed form", message(*f));
    }
    if (!design.states.empty()) {
      compareMultistate(design, *ds, tot, col);
      continue;
    }
    const std::vector<double> fast = rowOf(design, col);
    test::HandStudy ref(design.nper);
    ref.d = design;
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
    for (int h = 0; h < design.dim; ++h)
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
  Loaded run;
  if (!load(run, ctl, infp)) return std::nullopt;
  char* text = nullptr;
  std::size_t textLen = 0;
  std::FILE* fp = open_memstream(&text, &textLen);
  if (fp == nullptr) return std::nullopt;
  Writer out = makeWriter(fp, o.writerCap);
  Writer side = makeWriter(std::fopen("/dev/null", "w"));
  RecordsSink sink(*run.cfg);
  sink.output({&out, "out"});
  sink.sides({}, {csv ? &side : nullptr, "csv"});
  if (auto err = runStudy(*run.cfg, *run.data, run.con, sink)) {
    // The only early ends a run in memory can meet: a data set too many for GROUPS=, a count
    // too large for CAPTURE's one line per animal, a count that is not finite.
    const bool expected = err->failure() == Failure::NotFinite ||
                          (ctl.mxgrps == 1 ? ctl.lay.captflg && err->failure() == Failure::CaptureTooLarge
                                           : err->failure() == Failure::TooManyDataSets);
    if (!expected) fail("runStudy", message(*err));
  }
  closeWriter(out);
  closeWriter(side);
  std::string bytes(text, textLen);
  std::free(text);
  return bytes;
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
