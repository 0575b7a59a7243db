// The typed constructors of the faults: each takes what its message names, numbers as numbers,
// and puts it where message() reads it.
#include <cassert>
#include <cstdio>
#include <string>

#include "run/failure.h"

namespace plovanet {

namespace {

// A value as a warning quotes it: short, and exact enough to find in the file.
std::string shortNumber(double v) {
  char tmp[64];
  std::snprintf(tmp, sizeof tmp, "%.15g", v);
  return tmp;
}

}  // namespace

Fault Fault::openInput(std::string file) {
  return {Failure::OpenInput, {std::move(file), {}, {}}};
}
Fault Fault::readInput(std::string file) {
  return {Failure::ReadInput, {std::move(file), {}, {}}};
}
Fault Fault::badHead(std::string file) {
  return {Failure::BadHead, {std::move(file), {}, {}}};
}
Fault Fault::refusedArgument(Failure which) {
  assert(which == Failure::BadGroups || which == Failure::BadSeed || which == Failure::LongInName ||
         which == Failure::LongOutName || which == Failure::BadReps || which == Failure::BadFirstRep ||
         which == Failure::BadRng || which == Failure::BadClasses || which == Failure::BadMinFreq);
  return {which, {}};
}
Fault Fault::emptyOutName() {
  return {Failure::EmptyOutName, {}};
}
Fault Fault::sameFile(std::string file) {
  return {Failure::SameFile, {std::move(file), {}, {}}};
}
Fault Fault::openOutput(std::string file) {
  return {Failure::OpenOutput, {std::move(file), {}, {}}};
}
Fault Fault::writeOutput(std::string file) {
  return {Failure::WriteOutput, {std::move(file), {}, {}}};
}
Fault Fault::tooManyDataSets(std::string file, std::int64_t groups) {
  return {Failure::TooManyDataSets, {std::move(file), std::to_string(groups), {}}};
}
Fault Fault::captureTooLarge(std::string history) {
  return {Failure::CaptureTooLarge, {{}, std::move(history), {}}};
}
Fault Fault::alloc(std::string what) {
  return {Failure::Alloc, {{}, {}, std::move(what)}};
}
Fault Fault::writeConsole() {
  return {Failure::WriteConsole, {}};
}
Fault Fault::replicateRange(std::int64_t replicate, std::uint64_t limit, bool pcg) {
  return {Failure::ReplicateRange,
          {std::to_string(limit), std::to_string(replicate), pcg ? "PCG" : "CLASSIC"}};
}
Fault Fault::streamBlock(std::uint64_t blockSize, std::int64_t replicate) {
  return {Failure::StreamBlock, {std::to_string(blockSize), std::to_string(replicate), {}}};
}
Fault Fault::strict(const Fault& warning) {
  return {Failure::Strict, {{}, {}, message(warning)}};
}
Fault Fault::tooManyClassSets(std::string file, std::int64_t groups, std::int64_t classes) {
  return {
      Failure::TooManyClassSets,
      {std::move(file), std::to_string(groups * classes), std::to_string(classes), std::to_string(groups)}};
}
Fault Fault::partialClasses(std::string file, std::int64_t dataSets, std::int64_t classes) {
  return {Failure::PartialClasses, {std::move(file), std::to_string(dataSets), std::to_string(classes)}};
}
Fault Fault::looseNumber(std::string key, std::int32_t used, std::string arg) {
  return {Failure::LooseNumber, {std::move(key), std::to_string(used), std::move(arg)}};
}
Fault Fault::miscountedLine(std::string file, long line, const std::string& vector, int takes, int holds,
                            const std::string& next, long nextLine, std::int64_t dataSet) {
  const int off = holds > takes ? holds - takes : takes - holds;
  const bool one = off == 1;
  const auto values = [](int k) { return std::to_string(k) + (k == 1 ? " value" : " values"); };
  std::string text =
      vector + " takes " + values(takes) + ", but the line holds " + std::to_string(holds) + "; its ";
  text += one ? "" : std::to_string(off) + " ";
  text +=
      holds > takes ? (one ? "extra value " : "extra values ") : (one ? "missing value " : "missing values ");
  if (holds > takes) {
    text += !next.empty() ? (one ? "goes to " : "go to ") + next
                          : std::string(one ? "begins" : "begin") + " the next data set";
  } else {
    text += std::string(one ? "comes from " : "come from ") +
            (nextLine > 0 ? "line " + std::to_string(nextLine) : std::string("the next line"));
    if (!next.empty()) text += " (" + next + ")";
  }
  if (!next.empty()) {
    text += ", and every later value of data set " + std::to_string(dataSet) + " shifts by " +
            (one ? std::string("one place") : std::to_string(off) + " places");
  }
  return {Failure::MiscountedLine, {std::move(file), std::to_string(line), std::move(text)}};
}
Fault Fault::namedUnknown(std::string file, long line, std::string name, std::string suggestion) {
  return {Failure::NamedUnknown,
          {std::move(file), std::to_string(line), std::move(name), std::move(suggestion)}};
}
Fault Fault::namedNotNumber(std::string file, long line, std::string name, std::string text) {
  return {Failure::NamedNotNumber, {std::move(file), std::to_string(line), std::move(name), std::move(text)}};
}
Fault Fault::namedRange(std::string file, long line, std::string name, std::string value, std::string range) {
  return {Failure::NamedRange,
          {std::move(file), std::to_string(line), std::move(name), std::move(value), std::move(range)}};
}
Fault Fault::namedCount(std::string file, long line, std::string name, std::size_t given, std::string takes) {
  return {Failure::NamedCount,
          {std::move(file), std::to_string(line), std::move(name), std::to_string(given), std::move(takes)}};
}
Fault Fault::namedTwice(std::string file, long line, std::string name, int dataSet, long otherLine) {
  return {Failure::NamedTwice,
          {std::move(file), std::to_string(line), std::move(name), std::to_string(dataSet),
           std::to_string(otherLine)}};
}
Fault Fault::namedFirst(std::string file, long line, std::string found) {
  return {Failure::NamedFirst, {std::move(file), std::to_string(line), std::move(found)}};
}
Fault Fault::namedOccasionsAgain(std::string file, long line, long firstLine) {
  return {Failure::NamedOccasionsAgain,
          {std::move(file), std::to_string(line), {}, {}, std::to_string(firstLine)}};
}
Fault Fault::namedMissing(std::string file, long line, std::string name, int dataSet, std::string neededBy) {
  return {
      Failure::NamedMissing,
      {std::move(file), std::to_string(line), std::move(name), std::to_string(dataSet), std::move(neededBy)}};
}
Fault Fault::namedOrder(std::string file, long line, std::string kind, std::int64_t place,
                        std::string given) {
  return {Failure::NamedOrder,
          {std::move(file), std::to_string(line), std::move(kind), std::to_string(place), std::move(given)}};
}
Fault Fault::namedNoEntrants(std::string file, long line, int dataSet) {
  return {Failure::NamedNoEntrants, {std::move(file), std::to_string(line), {}, std::to_string(dataSet)}};
}
Fault Fault::namedRecruitStart(std::string file, long line, std::string name, int dataSet) {
  return {Failure::NamedRecruitStart,
          {std::move(file), std::to_string(line), std::move(name), std::to_string(dataSet)}};
}
Fault Fault::noTempFile(std::string file) {
  return {Failure::NoTempFile, {std::move(file), {}, {}}};
}
Fault Fault::tempElsewhere(std::string file, std::string folder) {
  return {Failure::TempElsewhere, {std::move(file), {}, std::move(folder)}};
}
Fault Fault::namedTooManySecondaries(std::string file, long line, std::string sum) {
  return {Failure::NamedTooManySecondaries, {std::move(file), std::to_string(line), {}, std::move(sum)}};
}
Fault Fault::namedSecondariesPlace(std::string file, long line) {
  return {Failure::NamedSecondariesPlace, {std::move(file), std::to_string(line), {}}};
}
Fault Fault::namedNotRobust(std::string file, long line, std::string name) {
  return {Failure::NamedNotRobust, {std::move(file), std::to_string(line), std::move(name)}};
}
Fault Fault::robustLayout() {
  return {Failure::RobustLayout, {}};
}
Fault Fault::resemblingKeyword(std::string arg, std::string keyword) {
  return {Failure::ResemblingKeyword, {{}, {}, std::move(arg), std::move(keyword)}};
}
Fault Fault::rateRange(std::int64_t dataSet, std::string name, int occasion, double value) {
  return {Failure::RateRange,
          {{}, std::to_string(dataSet), std::move(name), std::to_string(occasion), shortNumber(value)}};
}
Fault Fault::negativeEntrants(std::int64_t dataSet, int occasion, double value) {
  return {Failure::NegativeEntrants,
          {{}, std::to_string(dataSet), {}, std::to_string(occasion), shortNumber(value)}};
}
Fault Fault::readingStopped(std::string file, long line, char stop, bool inDataSet, std::int64_t dataSet) {
  // detail: the data set, when the stop is inside one
  return {Failure::ReadingStopped,
          {std::move(file), std::to_string(line), std::string(1, stop),
           inDataSet ? std::to_string(dataSet) : ""}};
}
Fault Fault::endsInside(std::string file, std::int64_t dataSet, bool valuesRead) {
  // detail: not empty when values were read
  return {Failure::EndsInside, {std::move(file), std::to_string(dataSet), {}, valuesRead ? "read" : ""}};
}
Fault Fault::unusedSetting(std::string file, long line, std::string name, std::string option) {
  return {Failure::UnusedSetting,
          {std::move(file), std::to_string(line), std::move(name), std::move(option)}};
}
Fault Fault::clockSeed(std::int32_t seed) {
  return {Failure::ClockSeed, {{}, std::to_string(seed), {}}};
}
Fault Fault::classicReplicates() {
  return {Failure::ClassicReplicates, {}};
}
Fault Fault::leftOut(double share) {
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.1f%%", 100 * share);
  return {Failure::LeftOut, {{}, percent, {}}};
}

}  // namespace plovanet
