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
  // A study's replicates must be independent, which the classic generator's are not; a single
  // run keeps the generator it always had. Replicate 1 is then the run with RNG=PCG.
  if (run.ctl.replicates && !run.ctl.rngGiven) run.ctl.rng = StreamKind::pcg32;
  return std::nullopt;
}

std::uint32_t clockSeed(std::uint64_t nanos, std::uint32_t pid) {
  // splitmix64's finaliser: neighbouring times and ids give unrelated seeds.
  std::uint64_t z = nanos + 0x9E3779B97F4A7C15ULL * (static_cast<std::uint64_t>(pid) + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  const auto seed = static_cast<std::uint32_t>(z ^ (z >> 32));
  return seed == 12345 ? seed + 1 : seed;
}

std::optional<Fault> readHead(Run& run) {
  if (namedFormat(run.in)) {
    NamedFile& nf = run.named;
    nf.file = run.ctl.infile;
    nf.recruit = run.ctl.recruit;
    nf.usef1 = run.ctl.usef1;
    nf.mxgrps = run.rs.mxgrps;
    nf.classes = run.ctl.classes;
    if (auto f = openNamed(nf, run.in)) return f;
    run.rs.nper = nf.K;
    run.rs.dim = 1 << nf.K;
    if (!nf.sec.empty()) {
      run.rs.nprim = nf.nper;
      run.rs.sec = nf.sec;
      if (run.ctl.lay.jollyflg == 1 || run.ctl.lay.captflg == 1) return Fault{Failure::RobustLayout, {}};
    }
    return std::nullopt;
  }
  const auto nper = readInt(run.in);
  if (run.in.error) return Fault{Failure::ReadInput, {run.ctl.infile, {}, {}}};
  if (!nper || *nper < 1 || *nper > kMaxOccasions) return Fault{Failure::BadHead, {run.ctl.infile, {}, {}}};
  run.rs.nper = *nper;
  run.rs.dim = 1 << *nper;
  return std::nullopt;
}

bool readFileDataSet(Run& run) {
  if (run.named.active) return readNamedDataSet(run.named, run.rs, run.ctl, run.console);
  return readDataSet(run.in, run.rs, run.ctl, run.console);
}

std::size_t groupBytes(int nper) {
  // The closed-form engine's state of a data set, and the column that holds it.
  const auto k = static_cast<std::size_t>(nper);
  return (2 * k * k + 8 * k) * sizeof(double) + sizeof(Column) + sizeof(Cohorts);
}

std::optional<Fault> allocateRun(Run& run) {
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
    *it.array = allocArray(per);
    if (!*it.array) return allocFault(std::string(it.name).append(count));
  }
  for (int k = 0; k + 1 < rs.nper; ++k) rs.th[k] = 1.0;
  if (rs.nprim > 0) {
    for (Array* a : {&rs.em, &rs.ro, &rs.tin}) {
      *a = allocArray(per);
      if (!*a) return allocFault("tin" + count);
    }
  }
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

std::optional<Fault> prepareRun(Run& run, std::FILE* out) {
  RunState& rs = run.rs;
  run.out.open(out);
  if (auto f = checkGroupMemory(run)) return f;
  writeHeaders(run.out, run.ctl.lay, rs.nper, rs.dim, rs.mxgrps, rs.sec);
  flush(run.out);  // a run that fails from here on leaves the header in the file
  if (writeFailed(run.out)) return Fault{Failure::WriteOutput, {run.ctl.outfile, {}, {}}};
  rs.grp = 0;
  run.dataset = 0;
  run.blocks = 0;
  run.tcapTotal = run.outCaptures = run.csvCaptures = 0;
  run.cols.clear();
  if (!rs.tcap) return allocateRun(run);
  return std::nullopt;
}

}  // namespace plovanet
