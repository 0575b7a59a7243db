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

std::optional<Fault> allocateRun(Run& run, AllocFn alloc) {
  RunState& rs = run.rs;
  Control& ctl = run.ctl;
  const auto per = static_cast<std::size_t>(rs.nper);
  struct Item {
    Array* array;
    const char* name;
  };
  const Item items[] = {{&ctl.n, "n"}, {&rs.tcap, "tcap"}, {&rs.talive, "talive"},
                        {&rs.pa, "p"}, {&rs.p2, "p"},      {&rs.sa, "s"},
                        {&ctl.f, "f"}, {&ctl.sef, "sef"},  {&rs.th, "th"}};
  const std::string count = '[' + std::to_string(rs.nper) + ']';
  for (const Item& it : items) {
    *it.array = alloc(per);
    if (!*it.array) return allocFault(std::string(it.name).append(count));
  }
  for (int k = 0; k + 1 < rs.nper; ++k) rs.th[k] = 1.0;

  // The table is refused up front when it cannot fit in the memory this process may use, rather
  // than being left to fail page by page later. The expected-value engine needs a quarter row more.
  const auto dim = static_cast<std::size_t>(rs.dim);
  std::size_t cells = 0, bytes = 0;
  const std::size_t extra = rs.determ != 0 ? levelsSize(rs.nper) : 0;
  if (__builtin_mul_overflow(static_cast<std::size_t>(rs.mxgrps), dim, &cells) ||
      __builtin_add_overflow(cells, extra, &cells) || __builtin_mul_overflow(cells, sizeof(double), &bytes) ||
      bytes > platform::memoryLimit()) {
    return allocFault("nx");
  }
  const std::string row = "nx" + ('[' + std::to_string(rs.dim) + ']');
  rs.nx = alloc(static_cast<std::size_t>(rs.mxgrps) * dim);
  if (!rs.nx) return allocFault(row);
  if (rs.determ != 0 && !levelsAllocate(run.lv, rs.nper, alloc)) return allocFault(row);
  return std::nullopt;
}

std::optional<Fault> prepareRun(Run& run, std::FILE* out, AllocFn alloc) {
  RunState& rs = run.rs;
  run.out.fp = out;
  if (rs.determ == 1 && rs.nper > 27)
    std::fputs("\nWARNING: With this many occasions, it will take a long time!\n", run.console);
  std::fputs(rs.determ != 0 ? "\nExpected value data generated\n" : "\nStochastic data generated\n",
             run.console);
  std::fflush(run.console);

  writeHeaders(run.out, run.ctl.lay, rs.nper, rs.dim, rs.mxgrps);
  flush(run.out);  // a run that fails from here on leaves the header in the file
  if (run.out.failed) return Fault{Failure::WriteOutput, {run.ctl.outfile, {}, {}}};
  return allocateRun(run, alloc);
}

}  // namespace plovanet
