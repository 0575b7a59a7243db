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

#include "run/checks.h"
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
  p.ctl.keepWarning = [](const std::string& text) {
    std::fprintf(stderr, "plovanet: warning: %s\n", text.c_str());
  };
  try {
    if (auto f = runAll(p, argc, argv)) return fail(p, *f);
  } catch (const std::bad_alloc&) {
    return fail(p, Fault::alloc(p.stage));
  }
  return consoleStatus(p.con.fp);
}

}  // namespace plovanet
