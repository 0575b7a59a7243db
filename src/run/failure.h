// Every way a run can fail, and the one place where each message is spelled. Readers, parsers
// and the driver return a Failure; only main decides to print it and stop.
#pragma once

#include <string>

namespace plovanet {

enum class Failure {
  OpenInput,         // the parameter file cannot be opened
  ReadInput,         // reading the parameter file failed (not its end)
  BadHead,           // the first value is not a number of occasions from 1 to 30
  BadGroups,         // GROUPS= value
  BadSeed,           // SEED= value
  LongInName,        // IN= longer than 511 characters
  LongOutName,       // OUT= longer than 511 characters
  EmptyOutName,      // OUT= with nothing after it
  SameFile,          // two of IN=, OUT=, TRUTH= and CSV= lead to one file
  OpenOutput,        // the output file cannot be opened
  WriteOutput,       // a write or the close of the output file failed
  TooManyDataSets,   // more data sets than GROUPS=
  CaptureTooLarge,   // a CAPTURE replicate count beyond what an int holds
  Alloc,             // memory ran out
  WriteConsole,      // standard output could not be written (reported on standard error)
  BadReps,           // REPS= value
  BadFirstRep,       // FIRSTREP= value
  BadRng,            // RNG= value
  ReplicateRange,    // a replicate beyond those the generator keeps apart
  StreamBlock,       // a replicate drew into the next replicate's part of the stream
  Strict,            // a warning, under STRICT
  BadClasses,        // CLASSES= value
  TooManyClassSets,  // more data sets than GROUPS= times CLASSES=
  PartialClasses,    // data sets that do not fill whole groups of CLASSES= classes
  // Replacing output files
  NoTempFile,    // an existing output file, and no temporary file can be made to replace it
  TempElsewhere,  // a warning: the temporary file is made elsewhere and copied in at the end
};

// Every failure, in the order above (a test walks them all).
inline constexpr int kFailureCount = static_cast<int>(Failure::TempElsewhere) + 1;

// What a message names: a file (or a number), a count (k, a history's digits, a replicate), or
// what ran out of memory (the text of a warning).
struct Context {
  std::string file;
  std::string count;
  std::string what;
};

struct Fault {
  Failure failure;
  Context context;
};

// The whole text printed for f, line end included where the message has one.
std::string message(Failure f, const Context& c);
inline std::string message(const Fault& fault) {
  return message(fault.failure, fault.context);
}

// Allocation failure naming what could not be allocated ("nx", "n[5]", "the output buffer").
inline Fault allocFault(std::string what) {
  return {Failure::Alloc, {{}, {}, std::move(what)}};
}

}  // namespace plovanet
