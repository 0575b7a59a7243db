// The typed constructors of the faults, and the one place where each message is spelled: a
// constructor takes what its message names, numbers as numbers, and writes the whole text.
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/state.h"
#include "output/records.h"
#include "run/failure.h"

namespace plovanet {

namespace {

using std::to_string;

// A value as a warning quotes it: short, and exact enough to find in the file.
std::string shortNumber(double v) {
  char tmp[64];
  std::snprintf(tmp, sizeof tmp, "%.15g", v);
  return tmp;
}

// Where in the named parameter file an error points.
std::string at(const std::string& file, long line) {
  return "error: " + file + ", line " + to_string(line) + ": ";
}

// "1 value", "2 values".
std::string values(int k) {
  return to_string(k) + (k == 1 ? " value" : " values");
}

// Where the values a miscounted line lacks or holds over go. next: the vector read after it
// (empty for none); nextLine: where missing values come from (0: the next line).
std::string miscountTail(int takes, int holds, const std::string& next, long nextLine) {
  const int off = holds > takes ? holds - takes : takes - holds;
  const bool one = off == 1;
  std::string text = one ? "" : to_string(off) + " ";
  if (holds > takes) {
    text += one ? "extra value " : "extra values ";
    if (next.empty()) return text + (one ? "begins" : "begin") + " the next data set";
    return text + (one ? "goes to " : "go to ") + next;
  }
  text += one ? "missing value comes from " : "missing values come from ";
  text += nextLine > 0 ? "line " + to_string(nextLine) : std::string("the next line");
  return next.empty() ? text : text + " (" + next + ")";
}

// A word such as 0,8 written with a decimal point, as a locale with a decimal comma would mean
// it: one comma between digits, and no point; empty for any other word.
std::string decimalPoint(const std::string& word) {
  const std::size_t comma = word.find(',');
  const auto digit = [&word](std::size_t i) { return i < word.size() && word[i] >= '0' && word[i] <= '9'; };
  if (comma == std::string::npos || comma == 0 || !digit(comma - 1) || !digit(comma + 1)) return {};
  for (std::size_t i = 0; i < word.size(); ++i) {
    const bool sign = i == 0 && (word[i] == '-' || word[i] == '+');
    if (i != comma && !sign && !digit(i)) return {};
  }
  return word.substr(0, comma) + "." + word.substr(comma + 1);
}

// The advice a comma gets: a decimal comma's, or the separator's.
std::string commaAdvice(const std::string& decimal) {
  if (!decimal.empty()) return " (write " + decimal + " with a decimal point, not a comma)";
  return " (separate values with blanks, not commas)";
}

}  // namespace

Fault Fault::openInput(std::string file) {
  // Names the default file whatever IN= said, and ends without a line end: scripts match it.
  return {Failure::OpenInput, "error opening plovanet.txt\n\n(hit Enter...", std::move(file)};
}
Fault Fault::readInput(const std::string& file) {
  return {Failure::ReadInput, "error reading " + file + "\n"};
}
Fault Fault::badHead(const std::string& file) {
  return {Failure::BadHead, "error: " + file +
                                " must begin with the number of occasions, a whole number from 1 to " +
                                to_string(kMaxOccasions) + "\n"};
}
Fault Fault::refusedArgument(Failure which) {
  switch (which) {
    case Failure::BadGroups:
      return {which, "error: GROUPS= needs a whole number of groups from 1 to 2147483647\n"};
    case Failure::BadSeed:
      return {which, "error: SEED= needs a whole number from -2147483648 to 2147483647\n"};
    case Failure::LongInName:
      return {which, "error: the IN= file name is longer than 511 characters\n"};
    case Failure::LongOutName:
      return {which, "error: the OUT= file name is longer than 511 characters\n"};
    case Failure::BadReps:
      return {which, "error: REPS= needs a whole number of replicates from 1 to 2147483647\n"};
    case Failure::BadFirstRep:
      return {which, "error: FIRSTREP= needs a whole number from 1 to 2147483647\n"};
    case Failure::BadRng:
      return {which, "error: RNG= needs CLASSIC or PCG\n"};
    case Failure::BadClasses:
      return {which, "error: CLASSES= needs a whole number of classes from 1 to 2147483647\n"};
    case Failure::BadMinFreq:
      return {which, "error: MINFREQ= needs a frequency, a number from 0 up such as 0.000001 or 1e-8\n"};
    default:
      assert(!"not a refused argument");
      return {which, {}};
  }
}
Fault Fault::emptyOutName() {
  return {Failure::EmptyOutName, "error: the OUT= file name is empty\n"};
}
Fault Fault::sameFile(const std::string& file) {
  return {Failure::SameFile,
          "error: " + file + " is named twice: IN=, OUT=, TRUTH= and CSV= need different files\n"};
}
Fault Fault::openOutput(const std::string& file) {
  return {Failure::OpenOutput, "error opening " + file + "\n"};
}
Fault Fault::noOutputFolder(const std::string& file, const std::string& folder) {
  return {Failure::NoOutputFolder, "error opening " + file + ": the folder " + folder + " does not exist\n"};
}
Fault Fault::writeOutput(std::string file) {
  std::string text = "error writing " + file + "\n";
  return {Failure::WriteOutput, std::move(text), std::move(file)};
}
Fault Fault::tooManyDataSets(const std::string& file, std::int64_t groups) {
  const std::string g = to_string(groups);
  return {Failure::TooManyDataSets,
          "error: " + file + " holds more than " + g + " data sets, one for each of GROUPS=" + g + "\n"};
}
Fault Fault::captureTooLarge(const std::string& history) {
  return {Failure::CaptureTooLarge,
          "error: history " + history + " has a frequency too large for CAPTURE's one line per animal\n"};
}
Fault Fault::alloc(const std::string& what) {
  return {Failure::Alloc, "error allocating memory for " + what + "\n"};
}
Fault Fault::writeConsole() {
  return {Failure::WriteConsole, "error writing standard output\n"};
}
Fault Fault::replicateRange(std::int64_t replicate, std::uint64_t limit, bool pcg) {
  // Beyond PCG's replicates only another seed helps: a second study of its own.
  return {Failure::ReplicateRange,
          "error: replicate " + to_string(replicate) + " is beyond the " + to_string(limit) +
              " replicates that RNG=" + (pcg ? "PCG" : "CLASSIC") + " keeps apart; " +
              (pcg ? "run more as another study with its own SEED=" : "use RNG=PCG for more") + "\n"};
}
Fault Fault::streamBlock(std::uint64_t blockSize, std::int64_t replicate) {
  return {Failure::StreamBlock,
          "error: replicate " + to_string(replicate) + " drew more than " + to_string(blockSize) +
              " random numbers, into the next replicate's part of the stream; use RNG=PCG\n"};
}
Fault Fault::strict(const Fault& warning) {
  return {Failure::Strict, "error: " + message(warning) + " (STRICT)\n"};
}
Fault Fault::tooManyClassSets(const std::string& file, std::int64_t groups, std::int64_t classes) {
  return {Failure::TooManyClassSets, "error: " + file + " holds more than " + to_string(groups * classes) +
                                         " data sets, " + to_string(classes) +
                                         " classes for each of GROUPS=" + to_string(groups) + "\n"};
}
Fault Fault::partialClasses(const std::string& file, std::int64_t dataSets, std::int64_t classes) {
  const std::string k = to_string(classes);
  return {Failure::PartialClasses, "error: " + file + " holds " + to_string(dataSets) +
                                       (dataSets == 1 ? " data set" : " data sets") +
                                       ", not whole groups of " + k + " classes (CLASSES=" + k + ")\n"};
}
Fault Fault::looseNumber(const std::string& key, std::int32_t used, const std::string& arg) {
  return {Failure::LooseNumber, "'" + arg + "' is read as " + key + to_string(used) +
                                    ": only a whole number at the start of the value counts"};
}
Fault Fault::miscountedLine(const std::string& file, const Miscounted& m) {
  std::string text = file + ", line " + to_string(m.line) + ": " + m.vector + " takes " + values(m.takes) +
                     ", but the line holds " + to_string(m.holds) + "; its " +
                     miscountTail(m.takes, m.holds, m.next, m.nextLine);
  if (!m.next.empty()) {
    const int off = m.holds > m.takes ? m.holds - m.takes : m.takes - m.holds;
    text += ", and every later value of data set " + to_string(m.dataSet) + " shifts by " +
            (off == 1 ? std::string("one place") : to_string(off) + " places");
  }
  return {Failure::MiscountedLine, std::move(text)};
}
Fault Fault::namedUnknown(const std::string& file, long line, const std::string& name,
                          const std::string& suggestion) {
  return {Failure::NamedUnknown,
          at(file, line) + "unknown setting '" + name + "'" +
              (suggestion.empty() ? std::string() : "; did you mean '" + suggestion + "'?") + "\n"};
}
Fault Fault::namedNotNumber(const std::string& file, long line, const std::string& name,
                            const std::string& text) {
  const bool comma = text.find(',') != std::string::npos;
  return {Failure::NamedNotNumber, at(file, line) + name + ": '" + text + "' is not a number" +
                                       (comma ? commaAdvice(decimalPoint(text)) : "") + "\n"};
}
Fault Fault::namedRange(const std::string& file, long line, const std::string& name, const std::string& value,
                        const std::string& range) {
  return {Failure::NamedRange, at(file, line) + name + " takes " + range + ", not " + value + "\n"};
}
Fault Fault::namedCount(const std::string& file, long line, const std::string& name, std::size_t given,
                        const std::string& takes) {
  return {Failure::NamedCount, at(file, line) + name + " has " + to_string(given) +
                                   (given == 1 ? " value" : " values") + "; it takes " + takes + "\n"};
}
Fault Fault::namedTwice(const std::string& file, long line, const std::string& name, int dataSet,
                        long otherLine) {
  return {Failure::NamedTwice, at(file, line) + name + " is set twice in data set " + to_string(dataSet) +
                                   " (also on line " + to_string(otherLine) + ")\n"};
}
Fault Fault::namedFirst(const std::string& file, long line, const std::string& found) {
  return {Failure::NamedFirst, at(file, line) +
                                   "the file must begin with occasions, the number of occasions" +
                                   (found.empty() ? std::string() : ", not with " + found) + "\n"};
}
Fault Fault::namedOccasionsAgain(const std::string& file, long line, long firstLine) {
  return {
      Failure::NamedOccasionsAgain,
      at(file, line) + "occasions is set again; it is set once, first (line " + to_string(firstLine) + ")\n"};
}
Fault Fault::namedMissing(const std::string& file, long line, const std::string& name, int dataSet,
                          const std::string& neededBy) {
  return {Failure::NamedMissing, at(file, line) + "data set " + to_string(dataSet) + " has no " + name +
                                     (neededBy.empty() ? std::string() : ", which " + neededBy + " needs") +
                                     "\n"};
}
Fault Fault::namedOrder(const std::string& file, long line, const std::string& kind, std::int64_t place,
                        const std::string& given) {
  return {Failure::NamedOrder, at(file, line) + "by its place in the file this data set is " + kind + " " +
                                   to_string(place) + ", not " + given + "\n"};
}
Fault Fault::namedNoEntrants(const std::string& file, long line, int dataSet) {
  return {Failure::NamedNoEntrants, at(file, line) + "data set " + to_string(dataSet) +
                                        " has no entrants: every entrants value is 0\n"};
}
Fault Fault::namedRecruitStart(const std::string& file, long line, const std::string& name, int dataSet) {
  return {Failure::NamedRecruitStart, at(file, line) + "data set " + to_string(dataSet) + " has " + name +
                                          " 0 at occasion 1, which RECRUIT= without USEF1 divides by\n"};
}
Fault Fault::noTempFile(const std::string& file) {
  return {Failure::NoTempFile,
          "error: no temporary file can be made to replace " + file + " safely; it is left as it was\n"};
}
Fault Fault::tempElsewhere(const std::string& file, const std::string& folder) {
  return {Failure::TempElsewhere, "no temporary file can be made beside " + file + "; it is written in " +
                                      folder + " and copied over " + file + " when complete"};
}
Fault Fault::namedTooManySecondaries(const std::string& file, long line, const std::string& sum) {
  return {Failure::NamedTooManySecondaries, at(file, line) + "the secondaries add up to " + sum +
                                                " capture occasions; at most " + to_string(kMaxOccasions) +
                                                " fit a history\n"};
}
Fault Fault::namedSecondariesPlace(const std::string& file, long line) {
  return {Failure::NamedSecondariesPlace,
          at(file, line) + "secondaries is set once, on the line right after occasions\n"};
}
Fault Fault::namedNotRobust(const std::string& file, long line, const std::string& name) {
  return {
      Failure::NamedNotRobust,
      at(file, line) + name + " is used only in a robust design: give secondaries right after occasions\n"};
}
Fault Fault::plainLayout(std::string_view kind) {
  return {Failure::PlainLayout,
          "error: a " + std::string(kind) +
              " is written in the plain layout, with CSV= or for MARK; not for JOLLY or CAPTURE\n"};
}
Fault Fault::resemblingKeyword(const std::string& arg, const std::string& keyword) {
  return {Failure::ResemblingKeyword,
          "'" + arg + "' is no keyword (keywords are upper case); did you mean " + keyword + "?"};
}
Fault Fault::rateRange(std::int64_t dataSet, const std::string& name, int occasion, double value) {
  return {Failure::RateRange, "data set " + to_string(dataSet) + ": " + name + "[" + to_string(occasion) +
                                  "] = " + shortNumber(value) +
                                  " is not a rate from 0 to 1; it is used as it is"};
}
Fault Fault::negativeEntrants(std::int64_t dataSet, int occasion, double value) {
  return {Failure::NegativeEntrants, "data set " + to_string(dataSet) + ": n[" + to_string(occasion) +
                                         "] = " + shortNumber(value) + " entrants are negative; " +
                                         (occasion == 1 ? "they are not followed" : "0 are used")};
}
Fault Fault::readingStopped(const std::string& file, long line, char stop, bool inDataSet,
                            std::int64_t dataSet, const std::string& decimal) {
  std::string text =
      file + ", line " + to_string(line) + ": reading stopped at '" + stop + "', which is not a number";
  if (stop == ',') text += commaAdvice(decimal);
  if (!inDataSet) return {Failure::ReadingStopped, text + "; the rest of the file is ignored"};
  // A sign or point without digits is taken with the failed value, and reading goes on after it.
  if (stop == '-' || stop == '+' || stop == '.') {
    return {Failure::ReadingStopped, text + "; that value of data set " + to_string(dataSet) +
                                         " keeps its earlier one, and reading goes on after it"};
  }
  return {Failure::ReadingStopped, text + "; the rest of data set " + to_string(dataSet) +
                                       " keeps earlier values and the rest of the file is ignored"};
}
Fault Fault::endsInside(const std::string& file, std::int64_t dataSet, bool valuesRead) {
  return {Failure::EndsInside,
          file + " ends inside data set " + to_string(dataSet) +
              (valuesRead ? "; its missing values keep their earlier ones" : "; it is not simulated")};
}
Fault Fault::unusedSetting(const std::string& file, long line, const std::string& name,
                           const std::string& option) {
  return {Failure::UnusedSetting, file + ", line " + to_string(line) + ": " + name + " is used only with " +
                                      option + "; it is ignored"};
}
Fault Fault::clockSeed(std::int32_t seed) {
  return {Failure::ClockSeed, "seeded from the clock; SEED=" + to_string(seed) + " repeats this run"};
}
Fault Fault::classicReplicates() {
  return {Failure::ClassicReplicates,
          "RNG=CLASSIC replicates are correlated, not independent; use RNG=PCG for a study"};
}
namespace {

std::string percent(double share) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", 100 * share);
  return text;
}

}  // namespace

Fault Fault::leftOut(double share) {
  return {Failure::LeftOut, "histories of frequency 0.00005 or less, left out of the output file, hold " +
                                percent(share) +
                                " of the expected captures; CSV= with a smaller MINFREQ= writes them"};
}
Fault Fault::leftOutOf(double share, const std::string& files, double threshold) {
  // The layouts' own threshold as the older warning spells it.
  const std::string f = threshold == kThreshold ? std::string("0.00005") : shortNumber(threshold);
  return {Failure::LeftOut, "histories of frequency " + f + " or less, left out of " + files + ", hold " +
                                percent(share) + " of the expected captures; MINFREQ= below " + f +
                                " writes them"};
}

Fault Fault::namedStatesPlace(const std::string& file, long line) {
  return {Failure::NamedStatesPlace,
          at(file, line) + "states is set once, on the line right after occasions\n"};
}
Fault Fault::namedStateLetter(const std::string& file, long line, const std::string& word, bool twice) {
  std::string text = at(file, line) + "states: '" + word + "' ";
  if (twice) {
    text += "is named twice";
  } else if (word == "U") {
    text += "is not a state's letter; U stands for a state not recorded";
  } else {
    text += "is not a state's letter; each is one capital letter other than U";
  }
  return {Failure::NamedStateLetter, text + "\n"};
}
Fault Fault::namedNotState(const std::string& file, long line, const std::string& name,
                           const std::string& word, std::string_view states) {
  std::string listed;
  for (const char s : states) listed += listed.empty() ? std::string(1, s) : std::string(" ") + s;
  return {Failure::NamedNotState,
          at(file, line) + name + ": " +
              (word.empty() ? "the letter of one of the states (" + listed + ") is missing"
                            : "'" + word + "' is not one of the states (" + listed + ")") +
              "\n"};
}
Fault Fault::namedMoveSelf(const std::string& file, long line, char state) {
  const std::string s(1, state);
  return {Failure::NamedMoveSelf, at(file, line) + "move " + s + " " + s + ": staying in " + s +
                                      " is no move; it takes what the moves out of " + s + " leave\n"};
}
Fault Fault::namedNotMultistate(const std::string& file, long line, const std::string& name) {
  return {Failure::NamedNotMultistate,
          at(file, line) + name + " is used only in a multistate study: give states right after occasions\n"};
}
Fault Fault::namedMovesOver(const std::string& file, long line, int dataSet, char state, int interval,
                            double sum) {
  return {Failure::NamedMovesOver, at(file, line) + "data set " + to_string(dataSet) + ": the moves out of " +
                                       std::string(1, state) + " over interval " + to_string(interval) +
                                       " add up to " + shortNumber(sum) + ", more than 1\n"};
}
Fault Fault::statesRobust(const std::string& file, long line) {
  return {Failure::StatesRobust, at(file, line) +
                                     "a robust design with states is not simulated yet; give states or "
                                     "secondaries, not both\n"};
}
Fault Fault::statesRecruit() {
  return {Failure::StatesRecruit,
          "error: RECRUIT= is not for a multistate study; give its entrants per state and occasion\n"};
}
Fault Fault::statesClassic() {
  return {Failure::StatesClassic,
          "error: RNG=CLASSIC is not for a multistate study, which draws from PCG32 (RNG=PCG)\n"};
}
Fault Fault::markUncertain() {
  return {Failure::MarkUncertain,
          "error: a multistate study whose states are not always recorded (observe below 1) is not written "
          "for MARK; write it with CSV=\n"};
}
Fault Fault::namedTooLarge(const std::string& file, long line, const std::string& name,
                           const std::string& text) {
  return {Failure::NamedTooLarge,
          at(file, line) + name + ": '" + text + "' is too large a number (the largest is about 1.8e308)\n"};
}

Fault Fault::utf16Input(const std::string& file) {
  return {Failure::Utf16Input,
          "error: " + file + " is saved as UTF-16 text; save it as UTF-8 or plain text\n"};
}
Fault Fault::markedNumeric(const std::string& file) {
  return {Failure::MarkedNumeric,
          "error: " + file +
              " begins with a byte-order mark before its number of occasions; save it "
              "as plain text (UTF-8 without a byte-order mark)\n"};
}
Fault Fault::namedMore(const std::string& file, std::int64_t more) {
  return {Failure::NamedMore, "error: " + file + ": and " + to_string(more) +
                                  (more == 1 ? " more mistake" : " more mistakes") + ", not shown\n"};
}
Fault Fault::spreadEntrants(const std::string& file, long line, const std::string& name,
                            const std::string& value, int occasions, std::size_t states, bool primaries) {
  const double animals = std::strtod(value.c_str(), nullptr) * occasions * static_cast<double>(states);
  std::string text = file + ", line " + to_string(line) + ": " + name + " " + value + " is " + value +
                     " new animals at each of the " + to_string(occasions) +
                     (primaries ? " primary occasions" : " occasions");
  if (states > 1) text += " in each of the " + to_string(states) + " states";
  text += ", " + shortNumber(animals) + " in all; for one cohort write " + name + " " + value;
  for (int k = 1; k < occasions; ++k) text += " 0";
  return {Failure::SpreadEntrants, std::move(text)};
}

Fault Fault::notFinite(std::int64_t dataSet, int occasion, const std::string& name, double value) {
  return {Failure::NotFinite,
          "error: data set " + to_string(dataSet) + ", occasion " + to_string(occasion) + ": " + name +
              " = " + shortNumber(value) +
              " is not a finite count; check the rates and RECRUIT= values that give it\n"};
}
Fault Fault::namedIntervalPlace(const std::string& file, long line) {
  return {Failure::NamedIntervalPlace,
          at(file, line) + "interval is set once, with the lines right after occasions, not per data set\n"};
}
Fault Fault::namedCovariateName(const std::string& file, long line, const std::string& word, NameFault why) {
  std::string text = at(file, line) + "covariate: '" + word + "' ";
  switch (why) {
    case NameFault::form:
      text += "cannot name a covariate: use letters, digits and _, beginning with a letter, at most " +
              to_string(kMaxCovariateName) + " characters (MARK's limit)";
      break;
    case NameFault::setting:
      text += "cannot name a covariate: it is a setting's name, and MARK reads names without case";
      break;
    case NameFault::column:
      text += "cannot name a covariate: it names a column of the CSV= and ANIMALS= files";
      break;
    case NameFault::tooMany:
      text += "is one covariate too many: a file has at most " + to_string(kMaxCovariates);
      break;
  }
  return {Failure::NamedCovariateName, text + "\n"};
}
Fault Fault::namedLaw(const std::string& file, long line, const std::string& covariate,
                      const std::string& word) {
  return {Failure::NamedLaw,
          at(file, line) + "covariate " + covariate + ": '" + word +
              "' is not a law; give normal MEAN SD, uniform LOW HIGH or categories P1 P2 ...\n"};
}
Fault Fault::namedCategoriesSum(const std::string& file, long line, const std::string& covariate,
                                double sum) {
  return {Failure::NamedCategoriesSum, at(file, line) + "covariate " + covariate +
                                           " categories: the probabilities add up to " + shortNumber(sum) +
                                           ", not 1\n"};
}
Fault Fault::namedNotCovariate(const std::string& file, long line, const std::string& name,
                               const std::string& word, const std::string& names) {
  return {Failure::NamedNotCovariate, at(file, line) + name + ": '" + word +
                                          "' is not a covariate; the file names " +
                                          (names.empty() ? std::string("none") : names) + "\n"};
}
Fault Fault::namedNotRate(const std::string& file, long line, const std::string& name,
                          const std::string& word, const std::string& rates) {
  return {Failure::NamedNotRate,
          at(file, line) + name + ": '" + word + "' is not a rate it moves; give " + rates + "\n"};
}
Fault Fault::namedIndividualPlace(const std::string& file, long line, const std::string& name,
                                  long datasetLine) {
  return {Failure::NamedIndividualPlace,
          at(file, line) + name +
              " holds for the whole file: give it before the first dataset line "
              "(line " +
              to_string(datasetLine) + ")\n"};
}
Fault Fault::namedIndividualRobust(const std::string& file, long line, const std::string& name) {
  return {Failure::NamedIndividualRobust,
          at(file, line) + name +
              " is not for a robust design: individual animals are simulated in ordinary and multistate "
              "studies\n"};
}
Fault Fault::quadratureTooLarge(const std::string& file, double nodes, double most) {
  char count[32];
  std::snprintf(count, sizeof count, "%.3g", nodes);
  return {Failure::QuadratureTooLarge,
          "error: " + file + ": expected values over these covariates and heterogeneity take " + count +
              " quadrature nodes, more than " + to_string(static_cast<std::int64_t>(most)) +
              ": give nodes N, fewer or smaller effects, or STOCHASTIC\n"};
}
Fault Fault::namedEncounters(const std::string& file, long line, const std::string& word) {
  return {Failure::NamedEncounters,
          at(file, line) +
              "encounters: " + (word.empty() ? "the kind is missing" : "'" + word + "' is no kind") +
              "; give livedead (live captures and dead recoveries) or barker (and live resightings)\n"};
}
Fault Fault::namedEncountersPlace(const std::string& file, long line) {
  return {Failure::NamedEncountersPlace,
          at(file, line) + "encounters is set once, on the lines right after occasions\n"};
}
Fault Fault::encountersStates(const std::string& file, long line, bool states) {
  const std::string other = states ? "states" : "secondaries";
  return {Failure::EncountersStates, at(file, line) + "a live-dead study with " + other +
                                         " is not simulated; give encounters or " + other + ", not both\n"};
}
Fault Fault::namedNotLiveDead(const std::string& file, long line, const std::string& name, bool barker) {
  if (barker) {
    return {Failure::NamedNotLiveDead, at(file, line) + name +
                                           " is used only with live resightings: give encounters barker, "
                                           "not livedead\n"};
  }
  return {
      Failure::NamedNotLiveDead,
      at(file, line) + name + " is used only in a live-dead study: give encounters right after occasions\n"};
}
Fault Fault::liveDeadClassic() {
  return {Failure::LiveDeadClassic,
          "error: RNG=CLASSIC is not for a live-dead study, which draws from PCG32 (RNG=PCG)\n"};
}
Fault Fault::sameReplicates(std::int64_t reps) {
  return {Failure::SameReplicates, "REPS=" + to_string(reps) + " without STOCHASTIC writes " +
                                       to_string(reps) +
                                       " identical files of expected values; add STOCHASTIC for random "
                                       "replicates"};
}

Fault Fault::individualExpected(std::string_view keyword) {
  return {
      Failure::IndividualExpected,
      "error: " + std::string(keyword) + " lists the animals of a stochastic run: give STOCHASTIC with it\n"};
}
Fault Fault::individualRobust(std::string_view keyword) {
  return {Failure::IndividualRobust, "error: " + std::string(keyword) +
                                         " is not for a robust design, whose animals are not simulated one "
                                         "at a time\n"};
}
Fault Fault::individualClassic() {
  return {Failure::IndividualClassic,
          "error: RNG=CLASSIC is not for animals simulated one at a time (ANIMALS= or individual settings), "
          "which draw from PCG32 (RNG=PCG)\n"};
}
Fault Fault::animalsSameFile(const std::string& file) {
  return {
      Failure::AnimalsSameFile,
      "error: " + file + " is named twice: ANIMALS= needs a file apart from IN=, OUT=, TRUTH= and CSV=\n"};
}

}  // namespace plovanet
