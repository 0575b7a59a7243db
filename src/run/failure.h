// Every way a run can fail or warn, and the one place where each message is spelled. Readers,
// parsers and the driver return a Fault; only main decides to print it and stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

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
  // Expected values that account for what they leave out
  BadMinFreq,  // MINFREQ= value
  // Mistakes named: warnings (given through warn(), errors only with STRICT).
  LooseNumber,     // a GROUPS= or SEED= value that is not a plain whole number, read as one
  MiscountedLine,  // a line of a one-vector-per-line parameter file holding another count
  // The named parameter file (file, line and setting named by file, count and what)
  NamedUnknown,         // a setting name the format does not know (detail: a close name)
  NamedNotNumber,       // a value that is not a decimal number (detail: the text)
  NamedRange,           // a value outside the setting's range (detail: the text, need: the range)
  NamedCount,           // a setting with the wrong number of values (detail: given, need: taken)
  NamedTwice,           // a setting given twice in one data set (detail: data set, need: other line)
  NamedFirst,           // the file does not begin with occasions (what: the setting found first)
  NamedOccasionsAgain,  // occasions given a second time (need: its first line)
  NamedMissing,         // a required setting missing from the first data set (detail: data set)
  NamedOrder,           // a group or class line that disagrees with the data sets' order
  NamedNoEntrants,      // a data set whose entrants are all 0 (detail: data set)
  NamedRecruitStart,    // RECRUIT= without USEF1 would divide by a first value of 0
  // Replacing output files
  NoTempFile,     // an existing output file, and no temporary file can be made to replace it
  TempElsewhere,  // a warning: the temporary file is made elsewhere and copied in at the end
  // The robust design
  NamedTooManySecondaries,  // secondaries adding up to more than 30 occasions (detail: the sum)
  NamedSecondariesPlace,    // secondaries anywhere but right after occasions
  NamedNotRobust,           // emigrate or remain_out without secondaries (what: the setting)
  RobustLayout,             // JOLLY or CAPTURE asked for with a robust design
  // More warnings: what the arguments, the seed and the parameter file probably got wrong
  ResemblingKeyword,  // an argument that is no keyword but looks like one
  RateRange,          // a rate outside 0 to 1, used as it is
  NegativeEntrants,   // entrants below 0
  ReadingStopped,     // the numeric parameter file holds text that is not a number
  EndsInside,         // the numeric parameter file ends inside a data set
  UnusedSetting,      // a named file's f or sef without the RECRUIT= that uses it
  ClockSeed,          // a run seeded from the clock, which only its seed repeats
  ClassicReplicates,  // a study on RNG=CLASSIC, whose replicates are correlated
  LeftOut,            // histories left out of the output file that hold many expected captures
};

// Every failure, in the order above (a test walks them all).
inline constexpr int kFailureCount = static_cast<int>(Failure::LeftOut) + 1;

// What a message names, as text: each kind of failure gives the five places a meaning of its
// own (a number in file, a line in count, ...), which only its constructor and message() know.
// message() takes one directly to spell a message with placeholders, as the README shows it.
struct Context {
  std::string file;
  std::string count;
  std::string what;
  std::string detail = {};
  std::string need = {};
};

// A failure and what its message names, made only through the constructor of its kind, so that
// the names and numbers of a message cannot change places.
class Fault {
 public:
  static Fault openInput(std::string file);
  static Fault readInput(std::string file);
  static Fault badHead(std::string file);
  // A keyword's value refused: BadGroups, BadSeed, LongInName, LongOutName, BadReps,
  // BadFirstRep, BadRng, BadClasses or BadMinFreq, whose messages name nothing.
  static Fault refusedArgument(Failure which);
  static Fault emptyOutName();
  static Fault sameFile(std::string file);
  static Fault openOutput(std::string file);
  static Fault writeOutput(std::string file);
  static Fault tooManyDataSets(std::string file, std::int64_t groups);
  static Fault captureTooLarge(std::string history);  // the history's digits
  static Fault alloc(std::string what);
  static Fault writeConsole();
  static Fault replicateRange(std::int64_t replicate, std::uint64_t limit, bool pcg);
  static Fault streamBlock(std::uint64_t blockSize, std::int64_t replicate);
  static Fault strict(const Fault& warning);
  static Fault tooManyClassSets(std::string file, std::int64_t groups, std::int64_t classes);
  static Fault partialClasses(std::string file, std::int64_t dataSets, std::int64_t classes);
  static Fault looseNumber(std::string key, std::int32_t used, std::string arg);
  // The line of a vector that holds another count than the vector takes. next: the vector read
  // after it (empty for none); nextLine: where its missing values come from (0: the next line).
  static Fault miscountedLine(std::string file, long line, const std::string& vector, int takes, int holds,
                              const std::string& next, long nextLine, std::int64_t dataSet);
  // The named parameter file: file and line first, then the setting.
  static Fault namedUnknown(std::string file, long line, std::string name, std::string suggestion);
  static Fault namedNotNumber(std::string file, long line, std::string name, std::string text);
  static Fault namedRange(std::string file, long line, std::string name, std::string value,
                          std::string range);
  static Fault namedCount(std::string file, long line, std::string name, std::size_t given,
                          std::string takes);
  static Fault namedTwice(std::string file, long line, std::string name, int dataSet, long otherLine);
  static Fault namedFirst(std::string file, long line, std::string found);  // found: empty at no setting
  static Fault namedOccasionsAgain(std::string file, long line, long firstLine);
  static Fault namedMissing(std::string file, long line, std::string name, int dataSet, std::string neededBy);
  static Fault namedOrder(std::string file, long line, std::string kind, std::int64_t place,
                          std::string given);
  static Fault namedNoEntrants(std::string file, long line, int dataSet);
  static Fault namedRecruitStart(std::string file, long line, std::string name, int dataSet);
  static Fault noTempFile(std::string file);
  static Fault tempElsewhere(std::string file, std::string folder);
  static Fault namedTooManySecondaries(std::string file, long line, std::string sum);  // sum as written
  static Fault namedSecondariesPlace(std::string file, long line);
  static Fault namedNotRobust(std::string file, long line, std::string name);
  static Fault robustLayout();
  // Warnings; rate and entrants named by occasion (or interval) from 1.
  static Fault resemblingKeyword(std::string arg, std::string keyword);
  static Fault rateRange(std::int64_t dataSet, std::string name, int occasion, double value);
  static Fault negativeEntrants(std::int64_t dataSet, int occasion, double value);
  // inDataSet: whether values of the data set were read before the stop.
  static Fault readingStopped(std::string file, long line, char stop, bool inDataSet, std::int64_t dataSet);
  static Fault endsInside(std::string file, std::int64_t dataSet, bool valuesRead);
  static Fault unusedSetting(std::string file, long line, std::string name, std::string option);
  static Fault clockSeed(std::int32_t seed);
  static Fault classicReplicates();
  static Fault leftOut(double share);  // share of the expected captures, from 0 to 1

  Failure failure() const { return failure_; }
  const Context& context() const { return context_; }

 private:
  Fault(Failure failure, Context context) : failure_(failure), context_(std::move(context)) {}
  Failure failure_;
  Context context_;
};

// The whole text printed for f, line end included where the message has one. A warning's text
// has no line end: warn() frames it.
std::string message(Failure f, const Context& c);
inline std::string message(const Fault& fault) {
  return message(fault.failure(), fault.context());
}

// Warnings go to standard error, or with STRICT end the run as Failure::Strict.
bool isWarning(Failure f);

// A warning on standard error, or with STRICT the failure that ends the run.
std::optional<Fault> warn(bool strict, const Fault& warning);

// The copy of an error for standard error: one line, "plovanet: error: ...".
std::string errorCopy(const Fault& fault);

}  // namespace plovanet
