#include "run/program.h"

#include <chrono>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "run/driver.h"
#include "run/options.h"
#include "run/platform.h"
#include "run/setup.h"
#include "run/study.h"

namespace plovanet {

namespace {

// The warnings about the arguments, once they are all applied.
std::optional<Fault> checkArguments(const Control& ctl, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (const auto loose = looseNumber(argv[i])) {
      if (auto f = warn(ctl.strict, *loose)) return f;
    }
    if (const auto k = resemblingKeyword(argv[i])) {
      if (auto f = warn(ctl.strict, Fault::resemblingKeyword(argv[i], std::string(*k)))) return f;
    }
  }
  const std::int64_t last = ctl.firstrep + ctl.reps - 1;
  if (ctl.replicates && last > static_cast<std::int64_t>(maxReplicate(ctl.rng))) {
    return Fault::replicateRange(last, maxReplicate(ctl.rng), ctl.rng == StreamKind::pcg32);
  }
  if (ctl.replicates && ctl.reps > 1 && ctl.rng == StreamKind::classic)
    return warn(ctl.strict, Fault::classicReplicates());
  return std::nullopt;
}

// The parameter file opened and its head read, before any output file is touched, so that a bad
// parameter file leaves an earlier output file as it was; the seed chosen.
std::optional<Fault> openParameters(Program& p) {
  Run& run = p.run;
  const Control& ctl = p.ctl;
  p.stage = "the parameter file";
  std::FILE* infp = std::fopen(ctl.infile.c_str(), "r");
  // Windows cannot open a folder as a file; elsewhere its first read fails. Same message for both.
  if (infp == nullptr && platform::fileKind(ctl.infile) == platform::FileKind::Directory)
    return Fault::readInput(ctl.infile);
  if (infp == nullptr) return Fault::openInput(ctl.infile);
  run.src.file.reset(infp);
  run.src.in.infp = infp;
  if (ctl.seed == kClockSeed) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    run.seed = clockSeed(
        static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()),
        platform::processId());
  } else {
    run.seed = runSeed(ctl.seed);
  }
  if (auto f = readHead(run)) return f;
  for (const Fault& warning : run.src.named.warnings) {
    if (auto f = warn(ctl.strict, warning)) return f;
  }
  if (ctl.seed == kClockSeed && (!run.design.determ || ctl.recruit == Recruit::normal)) {
    if (auto f = warn(ctl.strict, Fault::clockSeed(static_cast<std::int32_t>(run.seed)))) return f;
  }
  return std::nullopt;
}

std::optional<Fault> runAll(Program& p, int argc, char** argv) {
  if (auto f = applyArguments(p.ctl, argc, argv, p.run.console)) return f;
  if (auto f = checkArguments(p.ctl, argc, argv)) return f;
  if (auto f = openParameters(p)) return f;
  return runStudy(p);
}

}  // namespace

int runProgram(int argc, char** argv) {
  // What everyone types first: answered without a run, and without touching any file.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(helpText().c_str(), stdout);
      return consoleStatus(stdout);
    }
    if (arg == "--version") {
      std::fputs("plovanet " PLOVANET_VERSION "\n", stdout);
      return consoleStatus(stdout);
    }
  }
  Program p;
  try {
    if (auto f = runAll(p, argc, argv)) return fail(p, *f);
  } catch (const std::bad_alloc&) {
    return fail(p, Fault::alloc(p.stage));
  }
  return consoleStatus(p.run.console);
}

}  // namespace plovanet
