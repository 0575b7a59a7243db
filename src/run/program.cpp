#include "run/program.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "run/data_sets.h"
#include "run/driver.h"
#include "run/file_sink.h"
#include "run/options.h"
#include "run/platform.h"
#include "run/setup.h"

namespace plovanet {

namespace {

// The resources of one run of the program, destroyed in reverse: the sink's writers close their
// streams before the temporary files that were not put in place are removed (Windows removes no
// open file).
struct Program {
  Control ctl;  // set by the command line alone; the run sees it const
  Console con;
  const char* stage = "the command line";  // what a failed allocation was for
  std::unique_ptr<FileDataSets> data;
  std::optional<RunConfig> cfg;
  std::unique_ptr<FileSink> sink;
};

// A console that could not be written costs nothing of the output file, but the run must not
// report success: the message goes to standard error, which may still work.
int consoleStatus(std::FILE* console) {
  if (std::fflush(console) == 0 && std::ferror(console) == 0) return 0;
  std::fputs(message(Fault::writeConsole()).c_str(), stderr);
  return 1;
}

// The end of a failed run: the files closed and put in place or removed, the error lines shown.
int fail(Program& p, const Fault& fault) {
  std::vector<Fault> faults{fault};
  if (p.sink) {
    for (Fault& more : p.sink->fail(fault)) faults.push_back(std::move(more));
  }
  if (p.con.lineOpen) std::fputc('\n', p.con.fp);  // an error line starts on a line of its own
  for (const Fault& f : faults) std::fputs(message(f).c_str(), p.con.fp);
  consoleStatus(p.con.fp);
  // Scripts send the console to a file or /dev/null: every error must reach the user as well,
  // once when both streams are one terminal or file.
  if (!platform::sharedConsole()) {
    for (const Fault& f : faults) std::fputs(errorCopy(f).c_str(), stderr);
  }
  return 1;
}

// The warnings about the arguments, once they are all applied.
std::optional<Fault> checkArguments(const Control& ctl, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (const auto loose = looseNumber(argv[i])) {
      if (auto f = warn(ctl, *loose)) return f;
    }
    if (const auto k = resemblingKeyword(argv[i])) {
      if (auto f = warn(ctl, Fault::resemblingKeyword(argv[i], std::string(*k)))) return f;
    }
  }
  return checkReplicates(ctl);
}

// What a multistate study is not run with, known once the head of the parameter file is read.
std::optional<Fault> checkStates(const Control& ctl, const Design& d) {
  if (d.states.empty()) return std::nullopt;
  // Its engine draws exactly, from PCG32 only.
  if (ctl.rngGiven && ctl.rng == StreamKind::classic) return Fault::statesClassic();
  if (ctl.lay.jollyflg || ctl.lay.captflg) return Fault::plainLayout("multistate study");
  if (ctl.lay.markflg && d.uncertain) return Fault::markUncertain();
  return std::nullopt;
}

// What a live-dead study is not run with: its engine draws exactly, from PCG32 only, and its
// histories of two characters per occasion are not JOLLY's or CAPTURE's.
std::optional<Fault> checkEncounters(const Control& ctl, const Design& d) {
  if (d.encounters == Encounters::none) return std::nullopt;
  if (ctl.rngGiven && ctl.rng == StreamKind::classic) return Fault::liveDeadClassic();
  if (ctl.lay.jollyflg || ctl.lay.captflg) return Fault::plainLayout("live-dead study");
  return std::nullopt;
}

// What INDIVIDUAL and ANIMALS= are not run with: they list the animals a stochastic run draws,
// which a robust design does not draw one at a time.
std::optional<Fault> checkIndividual(const Control& ctl, const Design& d) {
  for (const auto& [given, keyword] :
       {std::pair{ctl.individual, "INDIVIDUAL"}, std::pair{!ctl.animalsfile.empty(), "ANIMALS="}}) {
    if (!given) continue;
    if (ctl.determ) return Fault::individualExpected(keyword);
    if (d.nprim > 0) return Fault::individualRobust(keyword);
  }
  if (ctl.individual && (ctl.lay.jollyflg || ctl.lay.captflg))
    return Fault::plainLayout("study with INDIVIDUAL");
  // Each node is a data set simulated on its own: a grid past the bound would only run out of
  // memory or time.
  if (ctl.determ && d.indiv.active()) {
    const double nodes = quadratureSize(d, d.indiv.nodes);
    if (nodes > kMaxQuadratureNodes) return Fault::quadratureTooLarge(ctl.infile, nodes);
  }
  return std::nullopt;
}

}  // namespace

std::optional<Fault> checkStudy(const Control& ctl, const Design& d) {
  if (auto f = checkStates(ctl, d)) return f;
  if (auto f = checkEncounters(ctl, d)) return f;
  return checkIndividual(ctl, d);
}

std::optional<Fault> checkReplicates(const Control& ctl) {
  const std::int64_t last = ctl.firstrep + ctl.reps - 1;
  if (ctl.replicates && last > static_cast<std::int64_t>(maxReplicate(ctl.rng))) {
    return Fault::replicateRange(last, maxReplicate(ctl.rng), ctl.rng == StreamKind::pcg32);
  }
  if (ctl.replicates && ctl.reps > 1 && ctl.rng == StreamKind::classic)
    return warn(ctl, Fault::classicReplicates());
  return std::nullopt;
}

std::optional<Fault> checkRun(const RunConfig& cfg, const std::vector<Fault>& headWarnings) {
  const Control& ctl = cfg.ctl;
  // So do animals simulated one at a time.
  if (cfg.model->exactOnly() && ctl.rngGiven && ctl.rng == StreamKind::classic)
    return Fault::individualClassic();
  const Design& design = cfg.design();
  if (!cfg.model->writesJollyCapture() && (ctl.lay.jollyflg || ctl.lay.captflg))
    return Fault::plainLayout(design.encounters != Encounters::none ? "live-dead study" : "robust design");
  for (const Fault& warning : headWarnings) {
    if (auto f = warn(ctl, warning)) return f;
  }
  // Replicates that draw nothing are copies of one another: STOCHASTIC was probably meant.
  if (ctl.replicates && ctl.reps > 1 && !cfg.draws()) {
    if (auto f = warn(ctl, Fault::sameReplicates(ctl.reps))) return f;
  }
  return std::nullopt;
}

namespace {

std::uint32_t chooseSeed(const Control& ctl) {
  if (ctl.seed != kClockSeed) return runSeed(ctl.seed);
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return clockSeed(
      static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()),
      platform::processId());
}

// The parameter file opened and its head read, before any output file is touched, so that a bad
// parameter file leaves an earlier output file as it was; the run's configuration made.
std::optional<Fault> openParameters(Program& p) {
  const Control& ctl = p.ctl;
  p.stage = "the parameter file";
  std::FILE* infp = std::fopen(ctl.infile.c_str(), "r");
  // Windows cannot open a folder as a file; elsewhere its first read fails. Same message for both.
  if (infp == nullptr && platform::fileKind(ctl.infile) == platform::FileKind::Directory)
    return Fault::readInput(ctl.infile);
  if (infp == nullptr) return Fault::openInput(ctl.infile);
  p.data = std::make_unique<FileDataSets>(ctl, infp, p.con);
  const std::uint32_t seed = chooseSeed(ctl);
  Design design;
  if (auto f = p.data->readHead(design)) return f;
  if (auto f = checkStudy(ctl, design)) return f;
  // A multistate study draws from PCG32 unasked (RunConfig). Of what checkArguments did, only a
  // study's replicate numbers depend on the generator, and a study has chosen PCG32 already.
  p.cfg.emplace(ctl, design, seed);
  p.cfg->memoryLimit = platform::memoryLimit;
  if (auto f = checkRun(*p.cfg, p.data->headWarnings())) return f;
  if (ctl.seed == kClockSeed && p.cfg->draws()) {
    if (auto f = warn(ctl, Fault::clockSeed(static_cast<std::int32_t>(seed)))) return f;
  }
  return std::nullopt;
}

std::optional<Fault> runAll(Program& p, int argc, char** argv) {
  if (auto f = applyArguments(p.ctl, argc, argv, p.con.fp)) return f;
  if (auto f = checkArguments(p.ctl, argc, argv)) return f;
  if (auto f = openParameters(p)) return f;
  const RunConfig& cfg = *p.cfg;
  // A study: the same data sets for every replicate, read once; the per-occasion lines give way
  // to one line per replicate.
  p.data->start(cfg, cfg.ctl.replicates && cfg.ctl.reps > 1);
  p.con.report = !cfg.ctl.replicates;
  p.sink = std::make_unique<FileSink>(cfg, p.con, p.stage);
  if (auto f = p.sink->prepare()) return f;
  if (auto f = runStudy(cfg, *p.data, p.con, *p.sink)) return f;
  p.data->close();
  return p.sink->finish();
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
  return consoleStatus(p.con.fp);
}

}  // namespace plovanet
