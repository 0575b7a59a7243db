#include "run/setup.h"

#include "output/records.h"
#include "run/options.h"
#include "run/platform.h"

namespace plovanet {

std::optional<Fault> applyArguments(Run& run, int argc, const char* const* argv) {
  std::fputs(kUsage, run.console);
  for (int i = 1; i < argc; ++i) {
    if (auto f = applyArgument(argv[i], run.ctl, run.rs, run.console)) return Fault{*f, {}};
  }
  return std::nullopt;
}

std::optional<Fault> readHead(Run& run) {
  const auto nper = readInt(run.in);
  if (run.in.error) return Fault{Failure::ReadInput, {run.ctl.infile, {}, {}}};
  if (!nper || *nper < 1 || *nper > kMaxOccasions) return Fault{Failure::BadHead, {run.ctl.infile, {}, {}}};
  run.rs.nper = *nper;
  run.rs.dim = 1 << *nper;
  return std::nullopt;
}

std::size_t groupBytes(int nper) {
  // The closed-form engine's state of a data set, and the column that holds it.
  const auto k = static_cast<std::size_t>(nper);
  return (2 * k * k + 8 * k) * sizeof(double) + sizeof(Column) + sizeof(Cohorts);
}

std::optional<Fault> allocateRun(Run& run, AllocFn alloc) {
  RunState& rs = run.rs;
  Control& ctl = run.ctl;
  const auto per = static_cast<std::size_t>(rs.nper);
  struct Item {
    Array* array;
    const char* name;
  };
  const Item items[] = {{&ctl.n, "n"},  {&rs.tcap, "tcap"},   {&rs.talive, "talive"}, {&rs.pa, "p"},
                        {&rs.p2, "p"},  {&rs.sa, "s"},        {&ctl.f, "f"},          {&ctl.sef, "sef"},
                        {&rs.th, "th"}, {&rs.tmark, "tmark"}, {&rs.tnew, "tnew"},     {&rs.tlost, "tlost"}};
  const std::string count = '[' + std::to_string(rs.nper) + ']';
  for (const Item& it : items) {
    *it.array = alloc(per);
    if (!*it.array) return allocFault(std::string(it.name).append(count));
  }
  for (int k = 0; k + 1 < rs.nper; ++k) rs.th[k] = 1.0;
  return std::nullopt;
}

void announceRun(const Run& run) {
  if (run.rs.determ == 1 && run.rs.nper > 27)
    std::fputs("\nWARNING: With this many occasions, it will take a long time!\n", run.console);
  std::fputs(run.rs.determ != 0 ? "\nExpected value data generated\n" : "\nStochastic data generated\n",
             run.console);
}

std::optional<Fault> checkGroupMemory(const Run& run) {
  // Every group may need its records kept to the end: refused up front when that cannot fit in
  // the memory this process may use, before anything is written.
  // A later replicate of a study has passed this check already.
  const RunState& rs = run.rs;
  std::size_t bytes = 0;
  if (!rs.tcap && (__builtin_mul_overflow(static_cast<std::size_t>(rs.mxgrps), groupBytes(rs.nper), &bytes) ||
                   bytes > platform::memoryLimit())) {
    return allocFault("nx");
  }
  return std::nullopt;
}

std::optional<Fault> prepareRun(Run& run, std::FILE* out, AllocFn alloc) {
  RunState& rs = run.rs;
  run.out.fp = out;
  run.out.failed = false;
  if (auto f = checkGroupMemory(run)) return f;
  writeHeaders(run.out, run.ctl.lay, rs.nper, rs.dim, rs.mxgrps);
  flush(run.out);  // a run that fails from here on leaves the header in the file
  if (writeFailed(run.out)) return Fault{Failure::WriteOutput, {run.ctl.outfile, {}, {}}};
  rs.grp = 0;
  run.dataset = 0;
  run.blocks = 0;
  run.cols.clear();
  if (!rs.tcap) return allocateRun(run, alloc);
  return std::nullopt;
}

}  // namespace plovanet
