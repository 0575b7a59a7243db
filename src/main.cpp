// plovanet: simulated capture histories for mark-recapture studies. The process is made safe
// for a console that may be closed or broken and for interrupts; then the run takes over.
#include "run/platform.h"
#include "run/program.h"

int main(int argc, char** argv) {
  plovanet::platform::protectStdStreams();
  plovanet::platform::ignoreWriteSignals();
  plovanet::platform::installInterruptCleanup();
  return plovanet::runProgram(argc, argv);
}
