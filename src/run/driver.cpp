#include "run/driver.h"

#include <algorithm>
#include <cstdio>

#include "engine/caphis.h"
#include "engine/variates.h"
#include "output/records.h"
#include "output/trailers.h"

namespace plovanet {

namespace {

void appendf(std::string& con, const char* fmt, int j, double a, double b = 0) {
  char tmp[800];  // "%f" of the largest double needs about 320 characters per value
  const int n = std::snprintf(tmp, sizeof tmp, fmt, j, a, b);
  con.append(tmp, std::min(static_cast<std::size_t>(n), sizeof tmp - 1));
}

std::string writeFailure(const Run& run) {
  return "error writing " + run.ctl.outfile + "\n";
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
    appendf(run.con, "N[%d]=%f", j, n[j]);
    rs.talive[j] += n[j];
    if (rs.determ != 0 && !run.reference) {
      levelsOccasion(run.lv, rs, j + 1, n[j]);
    } else if (n[j] > 0) {
      caphis(rs, run.rng, 0, n[j], j + 1, -1);
    }
    appendf(run.con, " tcap,talive[%d]=%f %f\n", j, rs.tcap[j], rs.talive[j]);
    emit(run);
    if (j < rs.nper - 1) {
      if (ctl.recruit == 1 || ctl.recruit == 2) n[j + 1] = binoml(run.rng, rs.determ, rs.talive[j], ctl.f[j]);
      if (ctl.recruit == 2) {
        n[j + 1] = unorm(run.rng, rs.determ, ctl.f[j] * rs.talive[j], rs.talive[j] * ctl.sef[j]);
      }
      if (n[j + 1] < 0) n[j + 1] = 0;
    }
  }
}

std::optional<std::string> runDataSets(Run& run) {
  RunState& rs = run.rs;
  while (readDataSet(run.in, rs, run.ctl, run.con)) {
    emit(run);
    if (rs.grp >= rs.mxgrps) {
      char tmp[160];
      std::snprintf(tmp, sizeof tmp, "error: %s holds more than %d data sets, one for each of GROUPS=%d\n",
                    run.ctl.infile.c_str(), rs.mxgrps, rs.mxgrps);
      return std::string(tmp);
    }
    runOccasions(run);
    if (rs.mxgrps != 1) {
      ++rs.grp;
      continue;
    }
    echoLine(run.con, "n=", run.ctl.n.get(), rs.nper);
    emit(run);
    if (const int h = writeRecordBlock(run.out, run.ctl.lay.captflg, rs); h != 0) {
      std::string digits;
      for (int k = rs.nper - 1; k >= 0; --k) digits += ((h >> k) & 1) != 0 ? '1' : '0';
      return "error: history " + digits + " has a frequency too large for CAPTURE's one line per animal\n";
    }
    if (run.out.failed) return writeFailure(run);
  }
  emit(run);
  return std::nullopt;
}

std::optional<std::string> finishRun(Run& run) {
  if (run.rs.mxgrps > 1) writeGroupTable(run.out, run.rs);
  writeTrailers(run.out, run.ctl.lay, run.rs.nper, run.rs.mxgrps);
  const bool written = closeWriter(run.out);
  if (run.in.infp != nullptr) std::fclose(run.in.infp);
  run.in.infp = nullptr;
  if (!written) return writeFailure(run);
  run.con += "\noutput saved to 'plovanet.out'\n";
  emit(run);
  return std::nullopt;
}

}  // namespace plovanet
