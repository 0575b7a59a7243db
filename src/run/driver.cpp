#include "run/driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "engine/caphis.h"
#include "engine/pooled.h"
#include "engine/robust.h"
#include "engine/variates.h"
#include "output/blocks.h"
#include "output/records.h"
#include "output/trailers.h"
#include "run/data_sets.h"
#include "run/platform.h"

namespace plovanet {

namespace {

Fault writeFailure(const Run& run) {
  return Fault::writeOutput(run.outfile);
}

// A side file (TRUTH=, CSV=) whose write failed stops the run at once, as the output file does.
std::optional<Fault> sideFailure(const Run& run) {
  if (run.truth != nullptr && writeFailed(*run.truth)) return Fault::writeOutput(run.ctl.truthfile);
  if (run.csv != nullptr && writeFailed(*run.csv)) return Fault::writeOutput(run.ctl.csvfile);
  return std::nullopt;
}

// Whether the closed-form engine may run this data set: every rate within 0..1 and finite
// inputs (the pooled engine follows the recursion's sign tests everywhere else).
bool closedForm(const Run& run, const DataSet& ds) {
  const Design& d = run.design;
  if (!cohortsEligible(d, ds) || !std::isfinite(ds.n[0])) return false;
  for (int k = 0; k + 1 < d.nper && run.ctl.recruit != Recruit::none; ++k) {
    const auto i = static_cast<std::size_t>(k);
    if (!std::isfinite(ds.f[i]) || !std::isfinite(ds.sef[i])) return false;
  }
  return true;
}

// A fault for a block that stopped short.
std::optional<Fault> stopFault(const Run& run, BlockStop stop, int refused) {
  switch (stop) {
    case BlockStop::None:
      return std::nullopt;
    case BlockStop::CaptureTooLarge:
      return Fault::captureTooLarge(historyDigits(refused, run.design.nper));
    case BlockStop::LinesOutOfMemory:
      return Fault::alloc("the record lines");
    case BlockStop::RowTooLarge:
      return Fault::alloc("nx");
    case BlockStop::RowOutOfMemory:
      return Fault::alloc("nx[" + std::to_string(run.design.dim) + "]");
  }
  return std::nullopt;
}

std::optional<Fault> tableRow(Column& col, const Run& run) {
  return stopFault(run, ensureRow(col, run.design.nper, platform::memoryLimit()), 0);
}

// The pooled engine's pool, made when a data set first needs it.
std::optional<Fault> pool(Run& run) {
  if (run.lv.pool) return std::nullopt;
  if (!levelsAllocate(run.lv, run.design.nper))
    return Fault::alloc("nx[" + std::to_string(run.design.dim) + "]");
  return std::nullopt;
}

void writeTruth(Run& run, const Totals& tot) {
  if (run.truth == nullptr) return;
  const Design& d = run.design;
  // The seed that repeats the replicate; none when the run draws no random number.
  const bool draws = !d.determ || run.ctl.recruit == Recruit::normal;
  const std::string seed = draws ? std::to_string(static_cast<std::int32_t>(run.seed)) : std::string();
  const std::string lead = std::to_string(run.rep) + "," + std::to_string(run.dataset) + "," +
                           std::to_string(run.grp + 1) + "," + std::to_string(run.cls + 1) + ",";
  for (int j = 0; j < periods(d); ++j) {
    const auto i = static_cast<std::size_t>(j);
    put(*run.truth, lead);
    put(*run.truth, std::to_string(j + 1) + "," + seed);
    for (const double v : {tot.n[i], tot.talive[i], tot.tmark[i], tot.tcap[i], tot.tnew[i], tot.tlost[i]}) {
      put(*run.truth, ",");
      putNumber(*run.truth, v);
    }
    if (d.nprim > 0) {  // a robust design's column: alive and inside the study area
      put(*run.truth, ",");
      putNumber(*run.truth, tot.tin[i]);
    }
    put(*run.truth, "\n");
  }
}

// The next record block of this replicate: where it goes and how.
BlockTarget nextBlock(Run& run) {
  ++run.blocks;
  BlockTarget t;
  t.out = &run.out;
  t.csv = run.csv;
  if (run.csv != nullptr) t.lead = std::to_string(run.rep) + "," + std::to_string(run.blocks) + ",";
  t.captflg = run.ctl.lay.captflg;
  t.minfreq = run.ctl.minfreq;
  t.nper = run.design.nper;
  t.stochastic = !run.design.determ;
  t.robust = run.design.nprim > 0;
  return t;
}

// What a block's records hold, for the share the output file leaves out; then its faults.
std::optional<Fault> blockWritten(Run& run, const BlockResult& r) {
  run.outCaptures += r.outCaptures;
  run.csvCaptures += r.csvCaptures;
  if (auto f = stopFault(run, r.stop, r.refused)) return f;
  if (writeFailed(run.out)) return writeFailure(run);
  return sideFailure(run);
}

// With a recruitment option, the entrants of occasion (or primary) j + 2 from those alive at j + 1.
void recruit(Run& run, const DataSet& ds, Totals& tot, std::size_t j) {
  const bool determ = run.design.determ;
  double& next = tot.n[j + 1];
  if (run.ctl.recruit != Recruit::none) next = binoml(run.rng, determ, tot.talive[j], ds.f[j]);
  if (run.ctl.recruit == Recruit::normal)
    next = unorm(run.rng, determ, ds.f[j] * tot.talive[j], tot.talive[j] * ds.sef[j]);
  if (next < 0) next = 0;
}

// How each occasion (primary) is simulated: the engine of the data set, fed the entrants.
template <class Step>
void runPeriods(Run& run, const DataSet& ds, Totals& tot, Step step) {
  const int count = periods(run.design);
  for (int j = 0; j < count; ++j) {
    const auto i = static_cast<std::size_t>(j);
    if (run.report) std::fprintf(run.console, "N[%d]=%f", j, tot.n[i]);
    run.lineOpen = run.report;
    tot.talive[i] += tot.n[i];
    step(j, tot.n[i]);
    if (run.report) std::fprintf(run.console, " tcap,talive[%d]=%f %f\n", j, tot.tcap[i], tot.talive[i]);
    run.lineOpen = false;
    if (j < count - 1) recruit(run, ds, tot, i);
  }
}

}  // namespace

// A robust design runs primary by primary; its rates all lie within 0..1 (the named file holds no
// others), so its expected values take the closed form.
std::optional<Fault> simulate(Run& run, Column& col, const DataSet& ds, Totals& tot) {
  const Design& d = run.design;
  if (d.nprim > 0) {
    if (d.determ) {
      RobustCohorts& src = col.robust.emplace_back();
      runPeriods(run, ds, tot, [&](int j, double n) { robustOccasion(src, d, ds, tot, j + 1, n); });
      // The left-out share compares frequency times captures with the expected captures.
      run.tcapTotal += src.captures;
    } else {
      runPeriods(run, ds, tot, [&](int j, double n) {
        if (n > 0) caphisRobust(d, ds, tot, run.rng, col.tally, 0, n, j + 1, -1, true);
      });
    }
    return std::nullopt;
  }
  if (d.determ && closedForm(run, ds)) {
    Cohorts& src = col.sources.emplace_back();
    runPeriods(run, ds, tot, [&](int j, double n) { cohortsOccasion(src, d, ds, tot, j + 1, n); });
  } else if (d.determ) {
    if (auto f = tableRow(col, run)) return f;
    if (auto f = pool(run)) return f;
    runPeriods(run, ds, tot,
               [&](int j, double n) { levelsOccasion(run.lv, d, ds, tot, j + 1, n, col.row.get()); });
  } else {
    runPeriods(run, ds, tot, [&](int j, double n) {
      if (n > 0) caphis(d, ds, tot, run.rng, col.tally, 0, n, j + 1, -1);
    });
  }
  for (const double t : tot.tcap) run.tcapTotal += t;
  return std::nullopt;
}

std::optional<Fault> runDataSets(Run& run) {
  const Design& d = run.design;
  const int mxgrps = run.ctl.mxgrps;
  const std::int64_t classes = run.ctl.classes;
  while (true) {
    std::optional<DataSet> ds;
    if (auto f = nextDataSet(run, ds)) return f;
    if (!ds) break;
    // The classes' histories are added into one frequency column.
    const Place place = placeOf(run.dataset, mxgrps, classes);
    if (mxgrps != 1 && place.group >= mxgrps) {
      if (classes == 1) return Fault::tooManyDataSets(run.ctl.infile, mxgrps);
      return Fault::tooManyClassSets(run.ctl.infile, mxgrps, classes);
    }
    run.grp = static_cast<int>(place.group);
    run.cls = static_cast<int>(place.cls);
    ++run.dataset;
    const auto g = static_cast<std::size_t>(run.grp);
    if (run.cols.size() <= g) run.cols.resize(g + 1);
    Column& col = run.cols[g];
    Totals tot(d.nper);
    tot.n = ds->n;
    if (auto f = simulate(run, col, *ds, tot)) return f;
    // A replicate refused for its draws leaves no rows.
    if (run.ctl.replicates && pastBlock(run.rng)) {
      return Fault::streamBlock(blockSize(run.rng.kind), run.rep);
    }
    writeTruth(run, tot);
    if (auto f = sideFailure(run)) return f;
    if (mxgrps != 1) continue;
    if (run.report)
      echoLine(run.console, "n=", std::span<const double>(tot.n).first(static_cast<std::size_t>(periods(d))));
    if (run.cls + 1 == classes) {
      if (auto f = blockWritten(run, writeBlock(nextBlock(run), col))) return f;
    }
  }
  if (run.dataset % classes != 0) {
    return Fault::partialClasses(run.ctl.infile, run.dataset, classes);
  }
  return std::nullopt;
}

std::optional<Fault> checkLeftOut(const Run& run) {
  if (!run.design.determ || !(run.tcapTotal > 0)) return std::nullopt;
  const double out = 1 - run.outCaptures / run.tcapTotal;
  const double csv = run.csv != nullptr ? 1 - run.csvCaptures / run.tcapTotal : out;
  if (!(out > kLeftOutShare) || !(csv > kLeftOutShare)) return std::nullopt;
  return warn(run.ctl.strict, Fault::leftOut(out));
}

std::optional<Fault> finishRun(Run& run) {
  if (run.ctl.mxgrps > 1) {
    const BlockResult r = writeTable(nextBlock(run), run.cols, run.ctl.mxgrps, platform::memoryLimit());
    if (auto f = blockWritten(run, r)) return f;
  }
  writeTrailers(run.out, run.ctl.lay, run.design.nper, run.ctl.mxgrps, run.design.nprim > 0);
  if (!closeWriter(run.out)) return writeFailure(run);
  return std::nullopt;
}

}  // namespace plovanet
