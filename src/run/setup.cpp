#include "run/setup.h"

#include "output/records.h"
#include "run/options.h"
#include "run/platform.h"

namespace plovanet {

std::optional<Fault> applyArguments(Control& ctl, int argc, const char* const* argv, std::FILE* console) {
  std::fputs(kUsage, console);
  for (int i = 1; i < argc; ++i) {
    if (auto f = applyArgument(argv[i], ctl, console)) return Fault::refusedArgument(*f);
  }
  // A study's replicates must be independent, which the classic generator's are not; a single
  // run keeps the generator it always had. Replicate 1 is then the run with RNG=PCG.
  if (ctl.replicates && !ctl.rngGiven) ctl.rng = StreamKind::pcg32;
  return std::nullopt;
}

std::uint32_t clockSeed(std::uint64_t nanos, std::uint32_t pid) {
  // splitmix64's finaliser: neighbouring times and ids give unrelated seeds.
  std::uint64_t z = nanos + 0x9E3779B97F4A7C15ULL * (static_cast<std::uint64_t>(pid) + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  const auto seed = static_cast<std::uint32_t>(z ^ (z >> 32));
  return seed == static_cast<std::uint32_t>(kClockSeed) ? seed + 1 : seed;
}

std::optional<Fault> readHead(Run& run) {
  Design& d = run.design;
  d.determ = run.ctl.determ;
  d.thetaflg = run.ctl.thetaflg;
  ParamReader& in = run.src.in;
  if (namedFormat(in)) {
    NamedFile& nf = run.src.named;
    nf.file = run.ctl.infile;
    nf.recruit = run.ctl.recruit;
    nf.usef1 = run.ctl.usef1;
    nf.mxgrps = run.ctl.mxgrps;
    nf.classes = run.ctl.classes;
    if (auto f = openNamed(nf, in)) return f;
    d.nper = nf.K;
    if (!nf.sec.empty()) {
      d.nprim = nf.nper;
      d.sec = nf.sec;
      if (run.ctl.lay.jollyflg || run.ctl.lay.captflg) return Fault::robustLayout();
    }
  } else {
    const auto nper = readInt(in);
    if (in.error) return Fault::readInput(run.ctl.infile);
    if (!nper || *nper < 1 || *nper > kMaxOccasions) return Fault::badHead(run.ctl.infile);
    d.nper = *nper;
  }
  d.dim = 1 << d.nper;
  run.src.last = blankDataSet(d.nper);
  return std::nullopt;
}

std::size_t groupBytes(int nper) {
  // The closed-form engine's state of a data set, and the column that holds it.
  const auto k = static_cast<std::size_t>(nper);
  return (2 * k * k + 8 * k) * sizeof(double) + sizeof(Column) + sizeof(Cohorts);
}

void announceRun(const Run& run) {
  if (run.design.determ && run.design.nper > 27)
    std::fputs("\nWARNING: With this many occasions, it will take a long time!\n", run.console);
  std::fputs(run.design.determ ? "\nExpected value data generated\n" : "\nStochastic data generated\n",
             run.console);
}

std::optional<Fault> checkGroupMemory(const Run& run) {
  // Every group may need its records kept to the end: refused up front when that cannot fit in
  // the memory this process may use, before anything is written.
  std::size_t bytes = 0;
  if (__builtin_mul_overflow(static_cast<std::size_t>(run.ctl.mxgrps), groupBytes(run.design.nper), &bytes) ||
      bytes > platform::memoryLimit()) {
    return Fault::alloc("nx");
  }
  return std::nullopt;
}

std::optional<Fault> prepareRun(Run& run, std::FILE* out) {
  const Design& d = run.design;
  run.out.open(out);
  writeHeaders(run.out, run.ctl.lay, d.nper, d.dim, run.ctl.mxgrps, d.sec);
  flush(run.out);  // a run that fails from here on leaves the header in the file
  if (writeFailed(run.out)) return Fault::writeOutput(run.outfile);
  run.grp = 0;
  run.dataset = 0;
  run.blocks = 0;
  run.tcapTotal = run.outCaptures = run.csvCaptures = 0;
  run.cols.clear();
  return std::nullopt;
}

}  // namespace plovanet
