#include "run/setup.h"

#include "engine/model.h"
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

std::size_t groupBytes(int nper) {
  // The closed-form engine's state of a data set, and the column that holds it.
  const auto k = static_cast<std::size_t>(nper);
  return (2 * k * k + 8 * k) * sizeof(double) + sizeof(Column) + sizeof(Cohorts);
}

void announceRun(std::FILE* console, const Design& d) {
  if (d.determ && d.nper > 27)
    std::fputs("\nWARNING: With this many occasions, it will take a long time!\n", console);
  std::fputs(d.determ ? "\nExpected value data generated\n" : "\nStochastic data generated\n", console);
}

std::optional<Fault> checkGroupMemory(int mxgrps, const Design& d, std::size_t limit) {
  // Every group may need its records kept to the end: refused up front when that cannot fit in
  // the memory this process may use, before anything is written.
  std::size_t bytes = 0;
  if (__builtin_mul_overflow(static_cast<std::size_t>(mxgrps), groupBytes(d.nper), &bytes) || bytes > limit)
    return Fault::alloc("nx");
  return std::nullopt;
}

}  // namespace plovanet
