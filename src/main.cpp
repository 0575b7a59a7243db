// plovanet: simulated capture histories for mark-recapture studies. Set-up, the data-set loop
// and the end of the run; every failure ends here with its one line and status 1.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>

#include "run/driver.h"
#include "run/files.h"
#include "run/platform.h"
#include "run/setup.h"

namespace {

using namespace plovanet;

struct Program {
  Run run;
  OutputFile file;
  bool opened = false;                     // the output file exists (as a temporary file or directly)
  const char* stage = "the command line";  // what a failed allocation was for
};

// A console that could not be written costs nothing of the output file, but the run must not
// report success: the message goes to standard error, which may still work.
int consoleStatus(std::FILE* console) {
  if (std::fflush(console) == 0 && std::ferror(console) == 0) return 0;
  std::fputs(message(Failure::WriteConsole, {}).c_str(), stderr);
  return 1;
}

[[noreturn]] void fatal(Program& p, const Fault& fault) {
  if (p.opened) {
    // Records already made stay in the file, which is put in place as a complete run's would be.
    flush(p.run.out);
    closeWriter(p.run.out);
    commitOutput(p.file);
  }
  std::fputs(message(fault).c_str(), p.run.console);
  consoleStatus(p.run.console);
  std::exit(1);
}

int runProgram(Program& p, int argc, char** argv) {
  Run& run = p.run;
  if (auto f = applyArguments(run, argc, argv)) fatal(p, *f);

  p.stage = "the parameter file";
  std::FILE* infp = std::fopen(run.ctl.infile.c_str(), "r");
  if (infp == nullptr) fatal(p, {Failure::OpenInput, {}});
  run.in.infp = infp;
  run.rng = seededStream(runSeed(run.ctl.seed));
  // The head is checked before the output file is opened, so a bad parameter file leaves an
  // earlier output file as it was.
  if (auto f = readHead(run)) fatal(p, *f);

  p.stage = "the output buffer";
  run.out = makeWriter(nullptr);  // before the output file exists, so running out leaves it alone
  std::FILE* fp = nullptr;
  if (auto f = openOutput(p.file, run.ctl.outfile, run.ctl.infile, 0, fp)) fatal(p, *f);
  p.opened = true;
  p.stage = "the run";
  if (auto f = prepareRun(run, fp)) fatal(p, *f);
  if (auto f = runDataSets(run)) fatal(p, *f);
  if (auto f = finishRun(run)) fatal(p, *f);
  if (!commitOutput(p.file)) fatal(p, {Failure::WriteOutput, {run.ctl.outfile, {}, {}}});
  std::fputs("\noutput saved to 'plovanet.out'\n", run.console);
  return consoleStatus(run.console);
}

}  // namespace

int main(int argc, char** argv) {
  platform::protectStdStreams();
  platform::ignoreBrokenPipe();
  platform::installInterruptCleanup();
  static Program p;  // static: the table lives to the end of the process, as exit() expects
  try {
    return runProgram(p, argc, argv);
  } catch (const std::bad_alloc&) {
    fatal(p, allocFault(p.stage));
  }
}
