// plovanet: simulated capture histories for mark-recapture studies. Set-up, the data-set loop
// and the end of the run; every failure ends here with its one line and status 1.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "run/driver.h"
#include "run/setup.h"

namespace {

[[noreturn]] void fatal(plovanet::Run& run, const std::string& msg) {
  plovanet::flush(run.out);  // records already made stay in the file
  plovanet::emit(run);
  std::fputs(msg.c_str(), stdout);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  static plovanet::Run run;  // static: the table lives to the end of the process, as exit() expects
  if (auto err = plovanet::setUp(run, argc, argv)) fatal(run, *err);
  if (auto err = plovanet::runDataSets(run)) fatal(run, *err);
  if (auto err = plovanet::finishRun(run)) fatal(run, *err);
  return 0;
}
