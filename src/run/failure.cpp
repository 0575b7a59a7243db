#include "run/failure.h"

#include <algorithm>
#include <cstdio>

namespace plovanet {

namespace {

// Where in the named parameter file a message points.
std::string at(const Context& c) {
  return "error: " + c.file + ", line " + c.count + ": ";
}

}  // namespace

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
      // Beyond PCG's replicates only another seed helps: a second study of its own.
      return "error: replicate " + c.count + " is beyond the " + c.file + " replicates that RNG=" + c.what +
             " keeps apart; " +
             (c.what == "PCG" ? "run more as another study with its own SEED=" : "use RNG=PCG for more") +
             "\n";
    case Failure::StreamBlock:
      return "error: replicate " + c.count + " drew more than " + c.file +
             " random numbers, into the next replicate's part of the stream; use RNG=PCG\n";
    case Failure::BadClasses:
      return "error: CLASSES= needs a whole number of classes from 1 to 2147483647\n";
    case Failure::TooManyClassSets:
      return "error: " + c.file + " holds more than " + c.count + " data sets, " + c.what +
             " classes for each of GROUPS=" + c.detail + "\n";
    case Failure::PartialClasses:
      return "error: " + c.file + " holds " + c.count + " data sets, not whole groups of " + c.what +
             " classes (CLASSES=" + c.what + ")\n";
    case Failure::BadMinFreq:
      return "error: MINFREQ= needs a frequency, a number from 0 up such as 0.000001 or 1e-8\n";
    case Failure::NamedUnknown:
      return at(c) + "unknown setting '" + c.what + "'" +
             (c.detail.empty() ? std::string() : "; did you mean '" + c.detail + "'?") + "\n";
    case Failure::NamedNotNumber:
      return at(c) + c.what + ": '" + c.detail + "' is not a number" +
             (c.detail.find(',') != std::string::npos ? " (separate values with blanks, not commas)" : "") +
             "\n";
    case Failure::NamedRange:
      return at(c) + c.what + " takes " + c.need + ", not " + c.detail + "\n";
    case Failure::NamedCount:
      return at(c) + c.what + " has " + c.detail + (c.detail == "1" ? " value" : " values") + "; it takes " +
             c.need + "\n";
    case Failure::NamedTwice:
      return at(c) + c.what + " is set twice in data set " + c.detail + " (also on line " + c.need + ")\n";
    case Failure::NamedFirst:
      return at(c) + "the file must begin with occasions, the number of occasions" +
             (c.what.empty() ? std::string() : ", not with " + c.what) + "\n";
    case Failure::NamedOccasionsAgain:
      return at(c) + "occasions is set again; it is set once, first (line " + c.need + ")\n";
    case Failure::NamedMissing:
      return at(c) + "data set " + c.detail + " has no " + c.what +
             (c.need.empty() ? std::string() : ", which " + c.need + " needs") + "\n";
    case Failure::NamedOrder:
      return at(c) + "by its place in the file this data set is " + c.what + " " + c.detail + ", not " +
             c.need + "\n";
    case Failure::NamedNoEntrants:
      return at(c) + "data set " + c.detail + " has no entrants: every entrants value is 0\n";
    case Failure::NamedRecruitStart:
      return at(c) + "data set " + c.detail + " has " + c.what +
             " 0 at occasion 1, which RECRUIT= without USEF1 divides by\n";
    case Failure::NoTempFile:
      return "error: no temporary file can be made to replace " + c.file + " safely; it is left as it was\n";
    case Failure::TempElsewhere:
      return "no temporary file can be made beside " + c.file + "; it is written in " + c.what +
             " and copied over " + c.file + " when complete";
    case Failure::NamedTooManySecondaries:
      return at(c) + "the secondaries add up to " + c.detail +
             " capture occasions; at most 30 fit a history\n";
    case Failure::NamedSecondariesPlace:
      return at(c) + "secondaries is set once, on the line right after occasions\n";
    case Failure::NamedNotRobust:
      return at(c) + c.what + " is used only in a robust design: give secondaries right after occasions\n";
    case Failure::RobustLayout:
      return "error: a robust design is written in the plain layout, with CSV= or for MARK; not for JOLLY "
             "or CAPTURE\n";
    case Failure::Strict:
      return "error: " + c.what + " (STRICT)\n";
    case Failure::LooseNumber:
      return "'" + c.what + "' is read as " + c.file + c.count +
             ": only a whole number at the start of the value counts";
    case Failure::MiscountedLine:
      return c.file + ", line " + c.count + ": " + c.what;
    case Failure::ResemblingKeyword:
      return "'" + c.what + "' is no keyword (keywords are upper case); did you mean " + c.detail + "?";
    case Failure::RateRange:
      return "data set " + c.count + ": " + c.what + "[" + c.detail + "] = " + c.need +
             " is not a rate from 0 to 1; it is used as it is";
    case Failure::NegativeEntrants:
      return "data set " + c.count + ": n[" + c.detail + "] = " + c.need + " entrants are negative; " +
             (c.detail == "1" ? "they are not followed" : "0 are used");
    case Failure::ReadingStopped: {
      std::string text =
          c.file + ", line " + c.count + ": reading stopped at '" + c.what + "', which is not a number";
      if (c.what == ",") text += " (separate values with blanks, not commas)";
      // A sign or point without digits is taken with the failed value, and reading goes on after it.
      const bool taken = c.what == "-" || c.what == "+" || c.what == ".";
      if (c.detail.empty()) return text + "; the rest of the file is ignored";
      if (taken) {
        return text + "; that value of data set " + c.detail +
               " keeps its earlier one, and reading goes on after it";
      }
      return text + "; the rest of data set " + c.detail +
             " keeps earlier values and the rest of the file is ignored";
    }
    case Failure::EndsInside:
      return c.file + " ends inside data set " + c.count +
             (c.detail.empty() ? "; it is not simulated" : "; its missing values keep their earlier ones");
    case Failure::UnusedSetting:
      return c.file + ", line " + c.count + ": " + c.what + " is used only with " + c.detail +
             "; it is ignored";
    case Failure::ClockSeed:
      return "seeded from the clock; SEED=" + c.count + " repeats this run";
    case Failure::ClassicReplicates:
      return "RNG=CLASSIC replicates are correlated, not independent; use RNG=PCG for a study";
    case Failure::LeftOut:
      return "histories of frequency 0.00005 or less, left out of the output file, hold " + c.count +
             " of the expected captures; CSV= with a smaller MINFREQ= writes them";
  }
  return {};
}

bool isWarning(Failure f) {
  switch (f) {
    case Failure::LooseNumber:
    case Failure::MiscountedLine:
    case Failure::TempElsewhere:
    case Failure::ResemblingKeyword:
    case Failure::RateRange:
    case Failure::NegativeEntrants:
    case Failure::ReadingStopped:
    case Failure::EndsInside:
    case Failure::UnusedSetting:
    case Failure::ClockSeed:
    case Failure::ClassicReplicates:
    case Failure::LeftOut:
      return true;
    default:
      return false;
  }
}

std::optional<Fault> warn(bool strict, const Fault& warning) {
  if (strict) return Fault::strict(warning);
  std::fprintf(stderr, "plovanet: warning: %s\n", message(warning).c_str());
  return std::nullopt;
}

std::string errorCopy(const Fault& fault) {
  // The console's message names plovanet.txt whatever IN= said; here the real name is given.
  std::string text = fault.failure() == Failure::OpenInput && !fault.context().file.empty()
                         ? "error opening " + fault.context().file
                         : message(fault);
  text.erase(std::min(text.find('\n'), text.size()));
  for (const char* lead : {"error: ", "error "}) {
    if (text.starts_with(lead)) {
      text.erase(0, std::char_traits<char>::length(lead));
      break;
    }
  }
  return "plovanet: error: " + text + "\n";
}

}  // namespace plovanet
