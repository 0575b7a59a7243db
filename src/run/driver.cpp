#include "run/driver.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "engine/variates.h"
#include "run/data_sets.h"

namespace plovanet {

namespace {

// With a recruitment option, the entrants of period j + 2 from those alive at j + 1.
void recruit(const RunConfig& cfg, Replicate& r, const DataSet& ds, Totals& tot, std::size_t j) {
  const Mode mode = modeOf(cfg.design());
  double& next = tot.n[j + 1];
  if (cfg.ctl.recruit != Recruit::none) next = binoml(r.rng, mode, tot.talive[j], ds.f[j]);
  if (cfg.ctl.recruit == Recruit::normal)
    next = unorm(r.rng, mode, ds.f[j] * tot.talive[j], tot.talive[j] * ds.sef[j]);
  if (next < 0) next = 0;
}

Fault shortfall(const RunConfig& cfg, Shortfall why) {
  if (why == Shortfall::rowTooLarge) return Fault::alloc("nx");
  return Fault::alloc("nx[" + std::to_string(cfg.design().dim) + "]");
}

// The first count of a simulated data set that no file can hold (an entrant count derived from a
// tiny p, a recruitment that overflows), named as its TRUTH= column. Checked before anything of
// the data set is written, whatever the model.
std::optional<Fault> notFinite(const Replicate& r, const Totals& tot, int periods) {
  const std::pair<const char*, const std::vector<double>*> counts[] = {
      {"entrants", &tot.n},    {"alive", &tot.talive},      {"marked", &tot.tmark},
      {"captured", &tot.tcap}, {"newly_marked", &tot.tnew}, {"tags_lost", &tot.tlost},
      {"inside", &tot.tin},    {"moved_in", &tot.movedIn}};
  for (int j = 0; j < periods; ++j) {
    const auto i = static_cast<std::size_t>(j);
    for (const auto& [name, v] : counts) {
      if (i < v->size() && !std::isfinite((*v)[i])) return Fault::notFinite(r.dataset, j + 1, name, (*v)[i]);
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<Fault> simulate(const RunConfig& cfg, Replicate& r, Column& col, const DataSet& ds, Totals& tot,
                              Console& con, Workspace& work, StudySink* sink) {
  Shortfall why = Shortfall::none;
  const std::unique_ptr<Simulation> sim = cfg.model->simulate(col, ds, r.rng, work, why);
  if (!sim) return shortfall(cfg, why);
  const int count = cfg.model->periods();
  for (int j = 0; j < count; ++j) {
    const auto i = static_cast<std::size_t>(j);
    // Entrants that are not finite would only spread through the periods after them.
    if (!std::isfinite(tot.n[i])) return Fault::notFinite(r.dataset, j + 1, "entrants", tot.n[i]);
    if (con.report) std::fprintf(con.fp, "N[%d]=%f", j, tot.n[i]);
    con.lineOpen = con.report;
    tot.talive[i] += tot.n[i];
    sim->period(j, tot.n[i], tot);
    if (con.report) std::fprintf(con.fp, " tcap,talive[%d]=%f %f\n", j, tot.tcap[i], tot.talive[i]);
    con.lineOpen = false;
    if (sink != nullptr) {
      if (auto f = sink->afterPeriod(r)) return f;
    }
    if (j < count - 1) recruit(cfg, r, ds, tot, i);
  }
  sim->addCaptures(tot, r.tcapTotal);
  return notFinite(r, tot, count);
}

namespace {

// The next data set's group and class (placeOf): the classes' histories are added into one
// frequency column. The fault when GROUPS= has no room for it.
std::optional<Fault> place(const Control& ctl, Replicate& r) {
  const Place at = placeOf(r.dataset, ctl.mxgrps, ctl.classes);
  if (ctl.mxgrps != 1 && at.group >= ctl.mxgrps) {
    if (ctl.classes == 1) return Fault::tooManyDataSets(ctl.infile, ctl.mxgrps);
    return Fault::tooManyClassSets(ctl.infile, ctl.mxgrps, ctl.classes);
  }
  r.grp = static_cast<int>(at.group);
  r.cls = static_cast<int>(at.cls);
  ++r.dataset;
  return std::nullopt;
}

// One data set, placed: simulated into its group's column, its totals handed on, and with one
// group its records once its block is complete.
std::optional<Fault> runDataSet(const RunConfig& cfg, Replicate& r, const DataSet& ds, Console& con,
                                StudySink& sink, Workspace& work) {
  const auto g = static_cast<std::size_t>(r.grp);
  while (r.cols.size() <= g) r.cols.push_back(cfg.model->column());
  Column& col = r.cols[g];
  Totals tot(cfg.design().nper);
  tot.n = ds.n;
  work.animals = sink.animals(r);
  if (auto f = simulate(cfg, r, col, ds, tot, con, work, &sink)) return f;
  // A replicate refused for its draws leaves no rows.
  if (cfg.ctl.replicates && pastBlock(r.rng)) return Fault::streamBlock(blockSize(r.rng.kind), r.rep);
  if (auto f = sink.truth(r, tot)) return f;
  if (cfg.ctl.mxgrps != 1) return std::nullopt;
  if (con.report) {
    echoLine(con.fp,
             "n=", std::span<const double>(tot.n).first(static_cast<std::size_t>(cfg.model->periods())));
  }
  if (r.cls + 1 != cfg.ctl.classes) return std::nullopt;
  ++r.blocks;
  return sink.block(r, col);
}

}  // namespace

std::optional<Fault> runDataSets(const RunConfig& cfg, Replicate& r, DataSource& data, Console& con,
                                 StudySink& sink, Workspace& work) {
  const Control& ctl = cfg.ctl;
  for (;;) {
    std::optional<DataSet> ds;
    if (auto f = data.next(ds)) return f;
    if (!ds) break;
    if (auto f = place(ctl, r)) return f;
    if (auto f = runDataSet(cfg, r, *ds, con, sink, work)) return f;
  }
  if (r.dataset % ctl.classes != 0) return Fault::partialClasses(ctl.infile, r.dataset, ctl.classes);
  if (ctl.mxgrps == 1) return std::nullopt;
  ++r.blocks;
  return sink.table(r, r.cols);
}

std::optional<Fault> runStudy(const RunConfig& cfg, DataSource& data, Console& con, StudySink& sink) {
  const Control& ctl = cfg.ctl;
  Workspace work;
  work.memoryLimit = cfg.memoryLimit;
  const std::int64_t last = ctl.firstrep + ctl.reps - 1;
  for (std::int64_t rep = ctl.replicates ? ctl.firstrep : 1;; ++rep) {
    Replicate r(cfg, rep);
    if (auto f = sink.begin(r)) return f;
    if (auto f = runDataSets(cfg, r, data, con, sink, work)) return f;
    if (auto f = sink.end(r)) return f;
    if (!ctl.replicates || rep == last) return std::nullopt;
    data.rewind();
  }
}

}  // namespace plovanet
