// Test helpers: hand-built Run states and whole runs on in-memory files.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "run/driver.h"
#include "run/options.h"
#include "run/setup.h"

namespace plovanet::test {

// Text written to a FILE* that the test reads back afterwards.
struct MemFile {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* fp = open_memstream(&data, &size);
  std::string text() {
    std::fflush(fp);
    return {data, size};
  }
  ~MemFile() {
    if (fp != nullptr) std::fclose(fp);
    std::free(data);
  }
};

inline void fill(const Array& a, const std::vector<double>& v) {
  for (std::size_t i = 0; i < v.size(); ++i) a[i] = v[i];
}

// Whole run, after the command line, on an in-memory parameter file: stdout text and file bytes.
struct RunResult {
  std::string console, file, error;
};
inline RunResult runInMemory(const std::string& params, const std::vector<std::string>& args,
                             bool reference = false) {
  Run run;
  MemFile con, out;
  run.console = con.fp;
  run.reference = reference;
  RunResult r;
  for (const auto& a : args) applyArgument(a, run.ctl, run.rs, run.con);
  run.in.infp = fmemopen(const_cast<char*>(params.data()), params.size(), "r");
  run.rng = seededStream(static_cast<std::uint32_t>(run.ctl.seed));
  run.rs.nper = *readInt(run.in);
  run.rs.dim = 1 << run.rs.nper;
  run.out = makeWriter(out.fp);
  out.fp = nullptr;  // the run closes it
  if (auto e = allocateRun(run, allocArray)) r.error = *e;
  if (auto e = runDataSets(run)) r.error += *e;
  if (auto e = finishRun(run)) r.error += *e;
  r.console = con.text();
  r.file = std::string(out.data, out.size);
  return r;
}

}  // namespace plovanet::test
