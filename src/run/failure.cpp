// Which failures are warnings, and how a fault reaches the user: a warning framed on standard
// error (or, with STRICT, the error it becomes), an error's copy for standard error.
#include "run/failure.h"

#include <algorithm>

#include "run/control.h"

namespace plovanet {

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
    case Failure::SpreadEntrants:
    case Failure::SameReplicates:
      return true;
    default:
      return false;
  }
}

std::optional<Fault> warn(const Control& ctl, const Fault& warning) {
  if (ctl.strict) return Fault::strict(warning);
  if (ctl.keepWarning) ctl.keepWarning(message(warning));
  return std::nullopt;
}

namespace {

// The first line of a message as standard error shows it.
std::string copyLine(std::string text) {
  text.erase(std::min(text.find('\n'), text.size()));
  for (const char* lead : {"error: ", "error "}) {
    if (text.starts_with(lead)) {
      text.erase(0, std::char_traits<char>::length(lead));
      break;
    }
  }
  return "plovanet: error: " + text + "\n";
}

}  // namespace

std::string errorCopy(const Fault& fault) {
  // The console's message names plovanet.txt whatever IN= said; here the real name is given.
  std::string text =
      copyLine(fault.failure_ == Failure::OpenInput && !fault.file_.empty() ? "error opening " + fault.file_
                                                                            : fault.text_);
  for (std::size_t at = 0; at < fault.more_.size();) {
    const std::size_t end = std::min(fault.more_.find('\n', at), fault.more_.size());
    text += copyLine(fault.more_.substr(at, end - at));
    at = end + 1;
  }
  return text;
}

}  // namespace plovanet
