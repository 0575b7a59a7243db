#include "run/driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "engine/caphis.h"
#include "engine/robust.h"
#include "engine/variates.h"
#include "output/blocks.h"
#include "output/records.h"
#include "output/trailers.h"
#include "run/platform.h"

namespace plovanet {

namespace {

Fault writeFailure(const Run& run) {
  return {Failure::WriteOutput, {run.ctl.outfile, {}, {}}};
}

// A side file (TRUTH=, CSV=) whose write failed stops the run at once, as the output file does.
std::optional<Fault> sideFailure(const Run& run) {
  if (run.truth != nullptr && writeFailed(*run.truth))
    return Fault{Failure::WriteOutput, {run.ctl.truthfile, {}, {}}};
  if (run.csv != nullptr && writeFailed(*run.csv))
    return Fault{Failure::WriteOutput, {run.ctl.csvfile, {}, {}}};
  return std::nullopt;
}

std::string shortNumber(double v) {
  char tmp[64];
  std::snprintf(tmp, sizeof tmp, "%.15g", v);
  return tmp;
}

// Whether the closed-form engine may run this data set: every rate within 0..1 and finite
// inputs (the pooled engine follows the recursion's sign tests everywhere else).
bool closedForm(const Run& run) {
  const RunState& rs = run.rs;
  if (!cohortsEligible(rs) || !std::isfinite(run.ctl.n[0])) return false;
  for (int k = 0; k + 1 < rs.nper && run.ctl.recruit != 0; ++k) {
    if (!std::isfinite(run.ctl.f[k]) || !std::isfinite(run.ctl.sef[k])) return false;
  }
  return true;
}

// A fault for a block that stopped short.
std::optional<Fault> stopFault(const Run& run, BlockStop stop, int refused) {
  switch (stop) {
    case BlockStop::None:
      return std::nullopt;
    case BlockStop::CaptureTooLarge:
      return Fault{Failure::CaptureTooLarge, {{}, historyDigits(refused, run.rs.nper), {}}};
    case BlockStop::LinesOutOfMemory:
      return allocFault("the record lines");
    case BlockStop::RowTooLarge:
      return allocFault("nx");
    case BlockStop::RowOutOfMemory:
      return allocFault("nx[" + std::to_string(run.rs.dim) + "]");
  }
  return std::nullopt;
}

std::optional<Fault> tableRow(Column& col, const Run& run) {
  return stopFault(run, ensureRow(col, run.rs.nper, platform::memoryLimit()), 0);
}

// The pooled engine's pool, made when a data set first needs it.
std::optional<Fault> pool(Run& run) {
  if (run.lv.pool) return std::nullopt;
  if (!levelsAllocate(run.lv, run.rs.nper)) return allocFault("nx[" + std::to_string(run.rs.dim) + "]");
  return std::nullopt;
}

void keepDataSet(Run& run) {
  const int nper = run.rs.nper;
  auto copy = [nper](const Array& a) { return std::vector<double>(a.get(), a.get() + nper); };
  auto maybe = [&copy](const Array& a) { return a ? copy(a) : std::vector<double>(); };
  run.kept.push_back({copy(run.ctl.n), copy(run.rs.sa), copy(run.rs.th), copy(run.rs.pa), copy(run.rs.p2),
                      copy(run.ctl.f), copy(run.ctl.sef), maybe(run.rs.em), maybe(run.rs.ro)});
}

bool replayDataSet(Run& run) {
  if (run.replayed >= run.kept.size()) return false;
  const DataSet& d = run.kept[run.replayed++];
  for (auto [from, to] : {std::pair{&d.n, &run.ctl.n},
                          {&d.sa, &run.rs.sa},
                          {&d.th, &run.rs.th},
                          {&d.pa, &run.rs.pa},
                          {&d.p2, &run.rs.p2},
                          {&d.f, &run.ctl.f},
                          {&d.sef, &run.ctl.sef},
                          {&d.em, &run.rs.em},
                          {&d.ro, &run.rs.ro}}) {
    if (!from->empty()) std::copy(from->begin(), from->end(), to->get());
  }
  std::fill_n(run.rs.tcap.get(), run.rs.nper, 0.0);
  std::fill_n(run.rs.talive.get(), run.rs.nper, 0.0);
  return true;
}

// Rates outside 0..1 and negative entrants, once per data set as read.
std::optional<Fault> checkValues(const Run& run, int dataset) {
  const RunState& rs = run.rs;
  struct Vec {
    const char* name;
    const double* v;
    int count;
  };
  const Vec rates[] = {{"srv", rs.sa.get(), rs.nper - 1},
                       {"theta", rs.th.get(), rs.nper - 1},
                       {"p", rs.pa.get(), rs.nper},
                       {"c", rs.p2.get(), rs.nper}};
  const std::string where = "data set " + std::to_string(dataset) + ": ";
  for (const Vec& r : rates) {
    for (int k = 0; k < r.count; ++k) {
      if (r.v[k] >= 0 && r.v[k] <= 1) continue;
      const std::string text = where + r.name + "[" + std::to_string(k + 1) + "] = " + shortNumber(r.v[k]) +
                               " is not a rate from 0 to 1; it is used as it is";
      if (auto f = warn(run, text)) return f;
      break;
    }
  }
  for (int k = 0; k < rs.nper; ++k) {
    if (!(run.ctl.n[k] < 0)) continue;
    const std::string text = where + "n[" + std::to_string(k + 1) + "] = " + shortNumber(run.ctl.n[k]) +
                             " entrants are negative; " + (k == 0 ? "they are not followed" : "0 are used");
    if (auto f = warn(run, text)) return f;
    break;
  }
  return std::nullopt;
}

// Why reading stopped, when it stopped somewhere a user would not expect.
std::optional<Fault> checkStop(const Run& run, bool gotDataSet, std::uint64_t readsBefore) {
  const ParamReader& in = run.in;
  if (!in.failed || in.error) return std::nullopt;
  const std::string file = run.ctl.infile;
  const std::string set = std::to_string(run.dataset + 1);
  if (in.stopChar == EOF) {
    if (!gotDataSet && in.reads == readsBefore) return std::nullopt;  // the file ends between data sets
    return warn(run,
                file + " ends inside data set " + set +
                    (gotDataSet ? "; its missing values keep their earlier ones" : "; it is not simulated"));
  }
  std::string text = file + ", line " + std::to_string(in.stopLine) + ": reading stopped at '" +
                     std::string(1, static_cast<char>(in.stopChar)) + "', which is not a number";
  if (in.stopChar == ',') text += " (separate values with blanks, not commas)";
  // A sign or point without digits is taken with the failed value, and reading goes on after it.
  const bool taken = in.stopChar == '-' || in.stopChar == '+' || in.stopChar == '.';
  if (!gotDataSet) {
    text += "; the rest of the file is ignored";
  } else if (taken) {
    text += "; that value of data set " + set + " keeps its earlier one, and reading goes on after it";
  } else {
    text += "; the rest of data set " + set + " keeps earlier values and the rest of the file is ignored";
  }
  return warn(run, text);
}

// A file laid out one vector per line whose one line holds another count than its vector takes:
// every later value of the data set is shifted, which nothing else would reveal.
std::optional<Fault> checkLayout(Run& run) {
  const auto m = findMiscount(run.in, run.rs.nper, run.ctl.recruit);
  if (!m) return std::nullopt;
  int counts[kMaxVectors];
  const int vectors = vectorCounts(run.rs.nper, run.ctl.recruit, counts);
  const int takes = counts[m->vector];
  const int off = m->holds > takes ? m->holds - takes : takes - m->holds;
  const char* next = nullptr;  // the vector read after this one
  for (int v = m->vector + 1; v < vectors && next == nullptr; ++v) {
    if (counts[v] > 0) next = kVectorNames[v];
  }
  const auto values = [](int k) { return std::to_string(k) + (k == 1 ? " value" : " values"); };
  std::string text = std::string(kVectorNames[m->vector]) + " takes " + values(takes) +
                     ", but the line holds " + std::to_string(m->holds) + "; its ";
  text += off == 1 ? "" : std::to_string(off) + " ";
  text += m->holds > takes ? (off == 1 ? "extra value " : "extra values ")
                           : (off == 1 ? "missing value " : "missing values ");
  if (m->holds > takes) {
    text += next != nullptr ? std::string(off == 1 ? "goes to " : "go to ") + next
                            : std::string(off == 1 ? "begins" : "begin") + " the next data set";
  } else {
    text += std::string(off == 1 ? "comes from " : "come from ") +
            (m->nextLine > 0 ? "line " + std::to_string(m->nextLine) : std::string("the next line"));
    if (next != nullptr) text += std::string(" (") + next + ")";
  }
  if (next != nullptr) {
    text += ", and every later value of data set " + std::to_string(run.dataset + 1) + " shifts by " +
            (off == 1 ? std::string("one place") : std::to_string(off) + " places");
  }
  return warn(run, message(Failure::MiscountedLine, {run.ctl.infile, std::to_string(m->line), text}));
}

// The next data set: read (and kept for later replicates), or replayed. The warnings about what
// was read are given once, when it is read.
std::optional<Fault> nextDataSet(Run& run, bool& got) {
  if (run.replay) {
    got = replayDataSet(run);
    return std::nullopt;
  }
  const bool failedBefore = run.in.failed;
  const std::uint64_t readsBefore = run.in.reads;
  got = readFileDataSet(run);
  if (run.in.error) {
    got = false;  // values of this data set may be missing: simulate nothing more
    return Fault{Failure::ReadInput, {run.ctl.infile, {}, {}}};
  }
  if (!failedBefore) {
    if (auto f = checkStop(run, got, readsBefore)) return f;
  }
  if (!got) return std::nullopt;
  if (auto f = checkLayout(run)) return f;
  if (run.keep) keepDataSet(run);
  return checkValues(run, run.dataset + 1);
}

void writeTruth(Run& run) {
  if (run.truth == nullptr) return;
  const RunState& rs = run.rs;
  // The seed that repeats the replicate; none when the run draws no random number.
  const bool draws = rs.determ == 0 || run.ctl.recruit == 2;
  const std::string seed = draws ? std::to_string(static_cast<std::int32_t>(run.seed)) : std::string();
  const std::string lead = std::to_string(run.rep) + "," + std::to_string(run.dataset) + "," +
                           std::to_string(rs.grp + 1) + "," + std::to_string(run.cls + 1) + ",";
  for (int j = 0; j < periods(rs); ++j) {
    auto at = [j](const Array& a) { return a ? a[j] : 0.0; };
    put(*run.truth, lead);
    put(*run.truth, std::to_string(j + 1) + "," + seed);
    for (const double v : {run.ctl.n[j], rs.talive[j], at(rs.tmark), rs.tcap[j], at(rs.tnew), at(rs.tlost)}) {
      put(*run.truth, ",");
      putNumber(*run.truth, v);
    }
    if (rs.nprim > 0) {  // a robust design's column: alive and inside the study area
      put(*run.truth, ",");
      putNumber(*run.truth, rs.tin[j]);
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
  t.nper = run.rs.nper;
  t.stochastic = run.rs.determ == 0;
  t.robust = run.rs.nprim > 0;
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
void recruit(Run& run, int j) {
  const RunState& rs = run.rs;
  const Control& ctl = run.ctl;
  double* n = ctl.n.get();
  if (ctl.recruit == 1 || ctl.recruit == 2) n[j + 1] = binoml(run.rng, rs.determ, rs.talive[j], ctl.f[j]);
  if (ctl.recruit == 2)
    n[j + 1] = unorm(run.rng, rs.determ, ctl.f[j] * rs.talive[j], rs.talive[j] * ctl.sef[j]);
  if (n[j + 1] < 0) n[j + 1] = 0;
}

}  // namespace

// The data set of a robust design, primary by primary: one totals line per primary. Its rates
// all lie within 0..1 (the named file holds no others), so expected values take the closed form.
std::optional<Fault> runPrimaries(Run& run, Column& col) {
  RunState& rs = run.rs;
  const double* n = run.ctl.n.get();
  RobustCohorts* src = rs.determ != 0 ? &col.robust.emplace_back() : nullptr;
  for (int j = 0; j < rs.nprim; ++j) {
    if (run.report) std::fprintf(run.console, "N[%d]=%f", j, n[j]);
    run.lineOpen = run.report;
    rs.talive[j] += n[j];
    if (src != nullptr) {
      robustOccasion(*src, rs, j + 1, n[j]);
    } else if (n[j] > 0) {
      caphisRobust(rs, run.rng, col.tally, 0, n[j], j + 1, -1, true);
    }
    if (run.report) std::fprintf(run.console, " tcap,talive[%d]=%f %f\n", j, rs.tcap[j], rs.talive[j]);
    run.lineOpen = false;
    if (j < rs.nprim - 1) recruit(run, j);
  }
  // The left-out share compares frequency times captures with the expected captures.
  if (src != nullptr) run.tcapTotal += src->captures;
  return std::nullopt;
}

std::optional<Fault> warn(const Run& run, const std::string& text) {
  if (run.ctl.strict) return Fault{Failure::Strict, {{}, {}, text}};
  std::fprintf(stderr, "plovanet: warning: %s\n", text.c_str());
  return std::nullopt;
}

std::optional<Fault> runOccasions(Run& run, Column& col) {
  RunState& rs = run.rs;
  const double* n = run.ctl.n.get();
  for (Array* a : {&rs.tmark, &rs.tnew, &rs.tlost, &rs.tin}) {
    if (*a) std::fill_n(a->get(), rs.nper, 0.0);
  }
  if (rs.nprim > 0) return runPrimaries(run, col);
  const bool closed = rs.determ != 0 && closedForm(run);
  if (rs.determ != 0 && !closed) {
    if (auto f = tableRow(col, run)) return f;
    if (auto f = pool(run)) return f;
  }
  Cohorts* src = nullptr;
  if (closed) src = &col.sources.emplace_back();
  for (int j = 0; j < rs.nper; ++j) {
    if (run.report) std::fprintf(run.console, "N[%d]=%f", j, n[j]);
    run.lineOpen = run.report;
    rs.talive[j] += n[j];
    if (closed) {
      cohortsOccasion(*src, rs, j + 1, n[j]);
    } else if (rs.determ != 0) {
      levelsOccasion(run.lv, rs, j + 1, n[j], col.row.get());
    } else if (n[j] > 0) {
      caphis(rs, run.rng, col.tally, 0, n[j], j + 1, -1);
    }
    if (run.report) std::fprintf(run.console, " tcap,talive[%d]=%f %f\n", j, rs.tcap[j], rs.talive[j]);
    run.lineOpen = false;
    if (j < rs.nper - 1) recruit(run, j);
  }
  return std::nullopt;
}

std::optional<Fault> runDataSets(Run& run) {
  RunState& rs = run.rs;
  const std::int64_t classes = run.ctl.classes;
  while (true) {
    bool got = false;
    if (auto f = nextDataSet(run, got)) return f;
    if (!got) break;
    // Data set i is class i % classes of group i / classes (of record block i / classes with
    // one group): the classes' histories are added into one frequency column.
    const std::int64_t group = run.dataset / classes;
    if (rs.mxgrps != 1 && group >= rs.mxgrps) {
      if (classes == 1)
        return Fault{Failure::TooManyDataSets, {run.ctl.infile, std::to_string(rs.mxgrps), {}}};
      return Fault{Failure::TooManyClassSets,
                   {run.ctl.infile, std::to_string(rs.mxgrps * classes),
                    std::to_string(classes) + " classes for each of GROUPS=" + std::to_string(rs.mxgrps)}};
    }
    rs.grp = rs.mxgrps != 1 ? static_cast<int>(group) : 0;
    run.cls = static_cast<int>(run.dataset % classes);
    ++run.dataset;
    if (run.cols.size() <= static_cast<std::size_t>(rs.grp))
      run.cols.resize(static_cast<std::size_t>(rs.grp) + 1);
    Column& col = run.cols[static_cast<std::size_t>(rs.grp)];
    if (auto f = runOccasions(run, col)) return f;
    if (rs.nprim == 0) {
      for (int j = 0; j < rs.nper; ++j) run.tcapTotal += rs.tcap[j];
    }
    // A replicate refused for its draws leaves no rows.
    if (run.ctl.replicates && pastBlock(run.rng)) {
      return Fault{Failure::StreamBlock,
                   {std::to_string(blockSize(run.rng.kind)), std::to_string(run.rep), {}}};
    }
    writeTruth(run);
    if (auto f = sideFailure(run)) return f;
    if (rs.mxgrps != 1) continue;
    if (run.report) echoLine(run.console, "n=", run.ctl.n.get(), periods(rs));
    if (run.cls + 1 == classes) {
      if (auto f = blockWritten(run, writeBlock(nextBlock(run), col))) return f;
    }
  }
  if (run.dataset % classes != 0) {
    return Fault{Failure::PartialClasses,
                 {run.ctl.infile, std::to_string(run.dataset), std::to_string(classes)}};
  }
  return std::nullopt;
}

std::optional<Fault> checkLeftOut(const Run& run) {
  if (run.rs.determ == 0 || !(run.tcapTotal > 0)) return std::nullopt;
  const double out = 1 - run.outCaptures / run.tcapTotal;
  const double csv = run.csv != nullptr ? 1 - run.csvCaptures / run.tcapTotal : out;
  if (!(out > kLeftOutShare) || !(csv > kLeftOutShare)) return std::nullopt;
  char share[32];
  std::snprintf(share, sizeof share, "%.1f%%", 100 * out);
  return warn(run, std::string("histories of frequency 0.00005 or less, left out of the output file, hold ") +
                       share + " of the expected captures; CSV= with a smaller MINFREQ= writes them");
}

std::optional<Fault> finishRun(Run& run) {
  if (run.rs.mxgrps > 1) {
    const BlockResult r = writeTable(nextBlock(run), run.cols, run.rs.mxgrps, platform::memoryLimit());
    if (auto f = blockWritten(run, r)) return f;
  }
  writeTrailers(run.out, run.ctl.lay, run.rs.nper, run.rs.mxgrps, run.rs.nprim > 0);
  if (!closeWriter(run.out)) return writeFailure(run);
  return std::nullopt;
}

}  // namespace plovanet
