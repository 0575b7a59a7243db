#include "run/failure.h"

namespace plovanet {

std::string message(Failure f, const Context& c) {
  switch (f) {
    case Failure::OpenInput:
      // Names the default file whatever IN= said, and ends without a line end: scripts match it.
      return "error opening plovanet.txt\n\n(hit Enter...";
    case Failure::ReadInput:
      return "error reading " + c.file + "\n";
    case Failure::BadHead:
      return "error: " + c.file + " must begin with the number of occasions, a whole number from 1 to 30\n";
    case Failure::BadGroups:
      return "error: GROUPS= needs a whole number of groups from 1 to 2147483647\n";
    case Failure::BadSeed:
      return "error: SEED= needs a whole number from -2147483648 to 2147483647\n";
    case Failure::LongInName:
      return "error: the IN= file name is longer than 511 characters\n";
    case Failure::LongOutName:
      return "error: the OUT= file name is longer than 511 characters\n";
    case Failure::EmptyOutName:
      return "error: the OUT= file name is empty\n";
    case Failure::SameFile:
      return "error: " + c.file + " is named twice: IN=, OUT=, TRUTH= and CSV= need different files\n";
    case Failure::OpenOutput:
      return "error opening " + c.file + "\n";
    case Failure::WriteOutput:
      return "error writing " + c.file + "\n";
    case Failure::TooManyDataSets:
      return "error: " + c.file + " holds more than " + c.count +
             " data sets, one for each of GROUPS=" + c.count + "\n";
    case Failure::CaptureTooLarge:
      return "error: history " + c.count + " has a frequency too large for CAPTURE's one line per animal\n";
    case Failure::Alloc:
      return "error allocating memory for " + c.what + "\n";
    case Failure::WriteConsole:
      return "error writing standard output\n";
    case Failure::BadReps:
      return "error: REPS= needs a whole number of replicates from 1 to 2147483647\n";
    case Failure::BadFirstRep:
      return "error: FIRSTREP= needs a whole number from 1 to 2147483647\n";
    case Failure::BadRng:
      return "error: RNG= needs CLASSIC or PCG\n";
    case Failure::ReplicateRange:
      return "error: replicate " + c.count + " is beyond the " + c.file + " replicates that RNG=" + c.what +
             " keeps apart; use RNG=PCG for more\n";
    case Failure::StreamBlock:
      return "error: replicate " + c.count + " drew more than " + c.file +
             " random numbers, into the next replicate's part of the stream; use RNG=PCG\n";
    case Failure::BadClasses:
      return "error: CLASSES= needs a whole number of classes from 1 to 2147483647\n";
    case Failure::TooManyClassSets:
      return "error: " + c.file + " holds more than " + c.count + " data sets, " + c.what + "\n";
    case Failure::PartialClasses:
      return "error: " + c.file + " holds " + c.count + " data sets, not whole groups of " + c.what +
             " classes (CLASSES=" + c.what + ")\n";
    case Failure::NoTempFile:
      return "error: no temporary file can be made to replace " + c.file + " safely; it is left as it was\n";
    case Failure::TempElsewhere:
      return "no temporary file can be made beside " + c.file + "; it is written in " + c.what +
             " and copied over " + c.file + " when complete";
    case Failure::Strict:
      return "error: " + c.what + " (STRICT)\n";
  }
  return {};
}

}  // namespace plovanet
