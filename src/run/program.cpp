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
std::optional<Fault> checkArguments(const Run& run, int argc, char** argv) {
  const Control& ctl = run.ctl;
  for (int i = 1; i < argc; ++i) {
    if (const auto loose = looseNumber(argv[i])) {
      if (auto f = warn(run, message(*loose))) return f;
    }
    if (const auto k = resemblingKeyword(argv[i])) {
      std::string text(1, '\'');
      text.append(argv[i]).append("' is no keyword (keywords are upper case); did you mean ").append(*k) += '?';
      if (auto f = warn(run, text)) return f;
    }
  }
  const std::int64_t last = ctl.firstrep + ctl.reps - 1;
  if (ctl.replicates && last > static_cast<std::int64_t>(maxReplicate(ctl.rng))) {
    return Fault{Failure::ReplicateRange,
                 {std::to_string(maxReplicate(ctl.rng)), std::to_string(last),
                  ctl.rng == StreamKind::pcg32 ? "PCG" : "CLASSIC"}};
  }
  if (ctl.replicates && ctl.reps > 1 && ctl.rng == StreamKind::classic)
    return warn(run, "RNG=CLASSIC replicates are correlated, not independent; use RNG=PCG for a study");
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
    return Fault{Failure::ReadInput, {ctl.infile, {}, {}}};
  if (infp == nullptr) return Fault{Failure::OpenInput, {ctl.infile, {}, {}}};
  run.src.file.reset(infp);
  run.src.in.infp = infp;
  if (ctl.seed == 12345) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    run.seed = clockSeed(
        static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()),
        platform::processId());
  } else {
    run.seed = runSeed(ctl.seed);
  }
  if (auto f = readHead(run)) return f;
  for (const std::string& text : run.src.named.warnings) {
    if (auto f = warn(run, text)) return f;
  }
  if (ctl.seed == 12345 && (!run.design.determ || ctl.recruit == Recruit::normal)) {
    const std::string text = "seeded from the clock; SEED=" + std::to_string(static_cast<std::int32_t>(run.seed)) +
                             " repeats this run";
    if (auto f = warn(run, text)) return f;
  }
  return std::nullopt;
}

std::optional<Fault> runAll(Program& p, int argc, char** argv) {
  if (auto f = applyArguments(p.ctl, argc, argv, p.run.console)) return f;
  if (auto f = checkArguments(p.run, argc, argv)) return f;
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
    return fail(p, allocFault(p.stage));
  }
  return consoleStatus(p.run.console);
}

}  // namespace plovanet
