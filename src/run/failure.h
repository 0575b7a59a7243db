// Every way a run can fail or warn, as a Fault that carries its message. Readers, parsers and the
// driver return a Fault; only main decides to print it and stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
  // The named parameter file: each message names the file, the line and mostly the setting
  NamedUnknown,         // a setting name the format does not know (and a close one)
  NamedNotNumber,       // a value that is not a decimal number
  NamedRange,           // a value outside the setting's range
  NamedCount,           // a setting with the wrong number of values
  NamedTwice,           // a setting given twice in one data set
  NamedFirst,           // the file does not begin with occasions
  NamedOccasionsAgain,  // occasions given a second time
  NamedMissing,         // a required setting missing from the first data set
  NamedOrder,           // a group or class line that disagrees with the data sets' order
  NamedNoEntrants,      // a data set whose entrants are all 0
  NamedRecruitStart,    // RECRUIT= without USEF1 would divide by a first value of 0
  // Replacing output files
  NoTempFile,     // an existing output file, and no temporary file can be made to replace it
  TempElsewhere,  // a warning: the temporary file is made elsewhere and copied in at the end
  // The robust design
  NamedTooManySecondaries,  // secondaries adding up to more than 30 occasions
  NamedSecondariesPlace,    // secondaries anywhere but right after occasions
  NamedNotRobust,           // emigrate or remain_out without secondaries
  PlainLayout,              // JOLLY or CAPTURE asked for with a robust design or a multistate study
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
  // Multistate studies
  NamedStatesPlace,    // states anywhere but right after occasions, or a second time
  NamedStateLetter,    // a word of the states line that is no state's letter, or a letter twice
  NamedNotState,       // a per-state setting's letter that is not one of the states
  NamedMoveSelf,       // a move from a state to itself
  NamedNotMultistate,  // move or observe without states
  NamedMovesOver,      // the moves out of a state over an interval adding up to more than 1
  StatesRobust,        // states and secondaries together
  StatesRecruit,       // RECRUIT= with states
  StatesClassic,       // RNG=CLASSIC with states
  MarkUncertain,       // MARK with states that are not always recorded
  // The named parameter file again
  NamedTooLarge,   // a number beyond the largest double where the range has no upper end
  Utf16Input,      // a parameter file saved as UTF-16
  MarkedNumeric,   // a numeric parameter file that begins with a byte-order mark
  NamedMore,       // mistakes of a named file beyond those shown
  SpreadEntrants,  // a warning: one entrants value for several occasions
  // Counts no file can hold, and studies that repeat themselves
  NotFinite,           // a data set's derived count that is infinite or not a number
  NamedIntervalPlace,  // interval anywhere but on the lines right after occasions, or twice
  SameReplicates,      // a warning: REPS= over a run that draws nothing writes identical files
  NoOutputFolder,      // the output file's folder does not exist
  // Animals written one at a time (INDIVIDUAL, ANIMALS=)
  IndividualExpected,  // INDIVIDUAL or ANIMALS= without STOCHASTIC
  IndividualRobust,    // INDIVIDUAL or ANIMALS= with a robust design
  IndividualClassic,   // RNG=CLASSIC for animals simulated one at a time
  AnimalsSameFile,     // ANIMALS= leading to the file of IN=, OUT=, TRUTH= or CSV=
  // Individual animals
  NamedCovariateName,     // a covariate's name MARK cannot take, a setting's or a column's, or one too many
  NamedLaw,               // a covariate's law that is not normal, uniform or categories
  NamedCategoriesSum,     // a categorical covariate's probabilities not adding up to 1
  NamedNotCovariate,      // an effect naming no covariate of the file
  NamedNotRate,           // an effect or heterogeneity line naming no rate it moves
  NamedIndividualPlace,   // an individual setting after the first dataset line
  NamedIndividualRobust,  // an individual setting in a robust design
  QuadratureTooLarge,     // expected values of individual settings over too many quadrature nodes
  // Live-dead studies
  NamedEncounters,       // an encounters line that names no kind of live-dead study
  NamedEncountersPlace,  // encounters anywhere but on the lines right after occasions, or twice
  EncountersStates,      // encounters with states or secondaries
  NamedNotLiveDead,      // a live-dead setting without encounters, or a resighting one without barker
  LiveDeadClassic,       // RNG=CLASSIC with encounters
};

// Every failure, in the order above (a test walks them all).
inline constexpr int kFailureCount = static_cast<int>(Failure::LiveDeadClassic) + 1;

// The line of a one-vector-per-line parameter file that holds another count than its vector
// takes, for its warning.
struct Miscounted {
  long line;           // the line
  std::string vector;  // its vector
  int takes, holds;    // the values the vector takes; the values the line holds
  std::string next;    // the vector read after it; empty for none
  long nextLine;       // where its missing values come from; 0: the next line
  std::int64_t dataSet;
};

// A failure and its message, made only through the constructor of its kind: each takes what its
// message names, numbers as numbers, and spells the message at once (fault.cpp is the one place
// where messages are spelled), so that the names and numbers of a message cannot change places.
class Fault {
 public:
  static Fault openInput(std::string file);
  static Fault readInput(const std::string& file);
  static Fault badHead(const std::string& file);
  // A keyword's value refused: BadGroups, BadSeed, LongInName, LongOutName, BadReps,
  // BadFirstRep, BadRng, BadClasses or BadMinFreq, whose messages name nothing.
  static Fault refusedArgument(Failure which);
  static Fault emptyOutName();
  static Fault sameFile(const std::string& file);
  static Fault openOutput(const std::string& file);
  // An output file (or TRUTH= or CSV= file) whose folder, as the name gives it, does not exist.
  static Fault noOutputFolder(const std::string& file, const std::string& folder);
  static Fault writeOutput(std::string file);
  static Fault tooManyDataSets(const std::string& file, std::int64_t groups);
  static Fault captureTooLarge(const std::string& history);  // the history's digits
  static Fault alloc(const std::string& what);
  static Fault writeConsole();
  static Fault replicateRange(std::int64_t replicate, std::uint64_t limit, bool pcg);
  static Fault streamBlock(std::uint64_t blockSize, std::int64_t replicate);
  static Fault strict(const Fault& warning);
  static Fault tooManyClassSets(const std::string& file, std::int64_t groups, std::int64_t classes);
  static Fault partialClasses(const std::string& file, std::int64_t dataSets, std::int64_t classes);
  static Fault looseNumber(const std::string& key, std::int32_t used, const std::string& arg);
  // The line of a vector that holds another count than the vector takes. next: the vector read
  // after it (empty for none); nextLine: where its missing values come from (0: the next line).
  static Fault miscountedLine(const std::string& file, const Miscounted& m);
  // The named parameter file: file and line first, then the setting.
  static Fault namedUnknown(const std::string& file, long line, const std::string& name,
                            const std::string& suggestion);
  static Fault namedNotNumber(const std::string& file, long line, const std::string& name,
                              const std::string& text);
  static Fault namedRange(const std::string& file, long line, const std::string& name,
                          const std::string& value, const std::string& range);
  static Fault namedCount(const std::string& file, long line, const std::string& name, std::size_t given,
                          const std::string& takes);
  static Fault namedTwice(const std::string& file, long line, const std::string& name, int dataSet,
                          long otherLine);
  static Fault namedFirst(const std::string& file, long line,
                          const std::string& found);  // found: empty at no setting
  static Fault namedOccasionsAgain(const std::string& file, long line, long firstLine);
  static Fault namedMissing(const std::string& file, long line, const std::string& name, int dataSet,
                            const std::string& neededBy);
  static Fault namedOrder(const std::string& file, long line, const std::string& kind, std::int64_t place,
                          const std::string& given);
  static Fault namedNoEntrants(const std::string& file, long line, int dataSet);
  static Fault namedRecruitStart(const std::string& file, long line, const std::string& name, int dataSet);
  static Fault noTempFile(const std::string& file);
  static Fault tempElsewhere(const std::string& file, const std::string& folder);
  static Fault namedTooManySecondaries(const std::string& file, long line,
                                       const std::string& sum);  // sum as written
  static Fault namedSecondariesPlace(const std::string& file, long line);
  static Fault namedNotRobust(const std::string& file, long line, const std::string& name);
  // JOLLY or CAPTURE refused for a kind of study: "robust design", "multistate study",
  // "live-dead study".
  static Fault plainLayout(std::string_view kind);
  // Warnings; rate and entrants named by occasion (or interval) from 1.
  static Fault resemblingKeyword(const std::string& arg, const std::string& keyword);
  static Fault rateRange(std::int64_t dataSet, const std::string& name, int occasion, double value);
  static Fault negativeEntrants(std::int64_t dataSet, int occasion, double value);
  // inDataSet: whether values of the data set were read before the stop. decimal: the value a
  // decimal comma stopped, written with a point (empty for none).
  static Fault readingStopped(const std::string& file, long line, char stop, bool inDataSet,
                              std::int64_t dataSet, const std::string& decimal = {});
  static Fault endsInside(const std::string& file, std::int64_t dataSet, bool valuesRead);
  static Fault unusedSetting(const std::string& file, long line, const std::string& name,
                             const std::string& option);
  static Fault clockSeed(std::int32_t seed);
  static Fault classicReplicates();
  static Fault leftOut(double share);  // share of the expected captures, from 0 to 1
  // The same after MINFREQ=: files, "the output file", "the CSV= file" or both, leave out the
  // histories of frequency threshold or less.
  static Fault leftOutOf(double share, const std::string& files, double threshold);
  // Multistate studies. states: the letters, in order; interval from 1.
  static Fault namedStatesPlace(const std::string& file, long line);
  static Fault namedStateLetter(const std::string& file, long line, const std::string& word, bool twice);
  static Fault namedNotState(const std::string& file, long line, const std::string& name,
                             const std::string& word, std::string_view states);
  static Fault namedMoveSelf(const std::string& file, long line, char state);
  static Fault namedNotMultistate(const std::string& file, long line, const std::string& name);
  static Fault namedMovesOver(const std::string& file, long line, int dataSet, char state, int interval,
                              double sum);
  static Fault statesRobust(const std::string& file, long line);
  static Fault statesRecruit();
  static Fault statesClassic();
  static Fault markUncertain();
  static Fault namedTooLarge(const std::string& file, long line, const std::string& name,
                             const std::string& text);
  static Fault utf16Input(const std::string& file);
  static Fault markedNumeric(const std::string& file);
  static Fault namedMore(const std::string& file, std::int64_t more);
  // One entrants value for every occasion: name as written (with a state's letter), value as
  // written; states: how many states it is given to (1 outside a multistate study).
  static Fault spreadEntrants(const std::string& file, long line, const std::string& name,
                              const std::string& value, int occasions, std::size_t states, bool primaries);

  // A further mistake found with this one, shown after it.
  void follow(const Fault& later) { more_ += later.text_ + later.more_; }
  // A count of data set dataSet at occasion (from 1), by its TRUTH= column name.
  static Fault notFinite(std::int64_t dataSet, int occasion, const std::string& name, double value);
  static Fault sameReplicates(std::int64_t reps);
  static Fault namedIntervalPlace(const std::string& file, long line);
  // keyword: "INDIVIDUAL" or "ANIMALS=".
  static Fault individualExpected(std::string_view keyword);
  static Fault individualRobust(std::string_view keyword);
  static Fault individualClassic();
  static Fault animalsSameFile(const std::string& file);
  // Individual animals. name: the setting as written up to the word refused ("effect p").
  enum class NameFault { form, setting, column, tooMany };
  static Fault namedCovariateName(const std::string& file, long line, const std::string& word, NameFault why);
  static Fault namedLaw(const std::string& file, long line, const std::string& covariate,
                        const std::string& word);
  static Fault namedCategoriesSum(const std::string& file, long line, const std::string& covariate,
                                  double sum);
  // names: the file's covariates, in order.
  static Fault namedNotCovariate(const std::string& file, long line, const std::string& name,
                                 const std::string& word, const std::string& names);
  // rates: the rates the setting takes, as a list to give.
  static Fault namedNotRate(const std::string& file, long line, const std::string& name,
                            const std::string& word, const std::string& rates);
  static Fault namedIndividualPlace(const std::string& file, long line, const std::string& name,
                                    long datasetLine);
  static Fault namedIndividualRobust(const std::string& file, long line, const std::string& name);
  static Fault quadratureTooLarge(const std::string& file, double nodes);
  // Live-dead studies. word: the encounters line's words after the name, empty for none; line: the
  // later of encounters and states (states true) or secondaries; barker: the setting needs
  // Barker's resightings and the file has encounters livedead.
  static Fault namedEncounters(const std::string& file, long line, const std::string& word);
  static Fault namedEncountersPlace(const std::string& file, long line);
  static Fault encountersStates(const std::string& file, long line, bool states);
  static Fault namedNotLiveDead(const std::string& file, long line, const std::string& name, bool barker);
  static Fault liveDeadClassic();

  Failure failure() const { return failure_; }
  // The file a WriteOutput fault names (none for every other kind): a file whose write failed
  // is reported once, whether by the fault itself or after it.
  std::optional<std::string_view> writtenFile() const {
    if (failure_ != Failure::WriteOutput) return std::nullopt;
    return file_;
  }

 private:
  Fault(Failure failure, std::string text, std::string file = {})
      : failure_(failure), text_(std::move(text)), file_(std::move(file)) {}
  Failure failure_;
  std::string text_;  // the whole message
  std::string file_;  // OpenInput and WriteOutput: the file named
  std::string more_;  // further mistakes, one line each
  friend std::string message(const Fault& fault);
  friend std::string errorCopy(const Fault& fault);
};

// The whole text printed for a fault, line end included where the message has one. A warning's
// text has no line end: warn() frames it.
inline std::string message(const Fault& fault) {
  return fault.text_ + fault.more_;
}

// Whether the failure is a warning: given through warn(), an error only with STRICT.
bool isWarning(Failure f);

struct Control;

// A warning given where the run's settings send warnings (Control::keepWarning), or with STRICT
// the failure that ends the run.
std::optional<Fault> warn(const Control& ctl, const Fault& warning);

// The copy of an error for standard error: one line, "plovanet: error: ...", and one for each
// further mistake.
std::string errorCopy(const Fault& fault);

}  // namespace plovanet
