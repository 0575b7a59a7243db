#include "run/driver.h"

#include <algorithm>
#include <cstdio>

#include "engine/caphis.h"
#include "engine/variates.h"
#include "output/records.h"
#include "output/trailers.h"

namespace plovanet {

namespace {

Fault writeFailure(const Run& run) {
  return {Failure::WriteOutput, {run.ctl.outfile, {}, {}}};
}

}  // namespace

void runOccasions(Run& run) {
  RunState& rs = run.rs;
  const Control& ctl = run.ctl;
  double* n = ctl.n.get();
  // Rows start zeroed from calloc; only a one-group run reuses its row. Skipping the first
  // clear spares writing the whole table once more.
  if (run.datasets++ > 0 && rs.mxgrps == 1) std::fill_n(rs.row(rs.grp), rs.dim, 0.0);
  for (int j = 0; j < rs.nper; ++j) {
    std::fprintf(run.console, "N[%d]=%f", j, n[j]);
    rs.talive[j] += n[j];
    if (rs.determ != 0) {
      levelsOccasion(run.lv, rs, j + 1, n[j]);
    } else if (n[j] > 0) {
      caphis(rs, run.rng, 0, n[j], j + 1, -1);
    }
    std::fprintf(run.console, " tcap,talive[%d]=%f %f\n", j, rs.tcap[j], rs.talive[j]);
    if (j < rs.nper - 1) {
      if (ctl.recruit == 1 || ctl.recruit == 2) n[j + 1] = binoml(run.rng, rs.determ, rs.talive[j], ctl.f[j]);
      if (ctl.recruit == 2) {
        n[j + 1] = unorm(run.rng, rs.determ, ctl.f[j] * rs.talive[j], rs.talive[j] * ctl.sef[j]);
      }
      if (n[j + 1] < 0) n[j + 1] = 0;
    }
  }
}

std::optional<Fault> runDataSets(Run& run) {
  RunState& rs = run.rs;
  while (readDataSet(run.in, rs, run.ctl, run.console)) {
    if (run.in.error) break;  // values of this data set may be missing: simulate nothing more
    if (rs.grp >= rs.mxgrps) {
      return Fault{Failure::TooManyDataSets, {run.ctl.infile, std::to_string(rs.mxgrps), {}}};
    }
    runOccasions(run);
    if (rs.mxgrps != 1) {
      ++rs.grp;
      continue;
    }
    echoLine(run.console, "n=", run.ctl.n.get(), rs.nper);
    if (const int h = writeRecordBlock(run.out, run.ctl.lay.captflg, rs); h != 0) {
      std::string digits;
      for (int k = rs.nper - 1; k >= 0; --k) digits += ((h >> k) & 1) != 0 ? '1' : '0';
      return Fault{Failure::CaptureTooLarge, {{}, digits, {}}};
    }
    if (run.out.failed) return writeFailure(run);
  }
  if (run.in.error) return Fault{Failure::ReadInput, {run.ctl.infile, {}, {}}};
  return std::nullopt;
}

std::optional<Fault> finishRun(Run& run) {
  if (run.rs.mxgrps > 1) writeGroupTable(run.out, run.rs);
  writeTrailers(run.out, run.ctl.lay, run.rs.nper, run.rs.mxgrps);
  const bool written = closeWriter(run.out);
  if (run.in.infp != nullptr) std::fclose(run.in.infp);
  run.in.infp = nullptr;
  if (!written) return writeFailure(run);
  return std::nullopt;
}

}  // namespace plovanet
