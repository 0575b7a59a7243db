#include "run/output_set.h"

#include "run/platform.h"

namespace plovanet {

std::optional<Fault> warnTempElsewhere(const OutputFile& of, const Control& ctl) {
  if (of.tempFolder.empty()) return std::nullopt;
  return warn(ctl, Fault::tempElsewhere(of.name, of.tempFolder));
}

std::optional<Fault> SideFile::open(const std::string& name, const std::vector<std::string>& others, int slot,
                                    const std::string& header, const Control& ctl) {
  if (name.empty()) return std::nullopt;
  out_ = makeWriter(nullptr);
  std::FILE* fp = nullptr;
  if (auto f = openOutput(file_, name, others, slot, fp)) return f;
  out_.open(fp);
  open_ = true;
  if (auto f = warnTempElsewhere(file_, ctl)) return f;
  put(out_, header);
  flush(out_);
  if (writeFailed(out_)) return Fault::writeOutput(name);
  return std::nullopt;
}

std::optional<Fault> SideFile::mark() {
  if (!open_) return std::nullopt;
  flush(out_);
  if (writeFailed(out_)) return Fault::writeOutput(file_.name);
  mark_ = file_.temp.empty() ? -1 : platform::filePosition(out_.stream());
  return std::nullopt;
}

void SideFile::cut() {
  if (!open_ || mark_ < 0) return;
  flush(out_);
  if (!writeFailed(out_) && !platform::truncateFile(out_.stream(), mark_)) out_.fail();
}

void SideFile::discardEarlier() {
  if (open_) plovanet::discardEarlier(file_);
}

bool SideFile::close(bool begun) {
  if (!open_) return true;
  open_ = false;
  if (!closeWriter(out_)) {
    abandonOutput(file_);
    return false;
  }
  if (!begun) {
    abandonOutput(file_);
    return true;
  }
  return commitOutput(file_);
}

std::optional<Fault> OutputSet::open(const std::string& name, const std::vector<std::string>& others,
                                     std::FILE*& fp) {
  return openOutput(out_, name, others, 0, fp);
}

std::optional<Fault> OutputSet::markSides() {
  marked_ = true;
  for (SideFile* side : sides_) {
    if (auto f = side->mark()) return f;
  }
  return std::nullopt;
}

bool OutputSet::commit() {
  // A file that could not be put in place leaves the set to be abandoned, side rows and all.
  done_ = commitOutput(out_);
  return done_;
}

void OutputSet::abandon() {
  if (done_) return;
  done_ = true;
  abandonOutput(out_);
  if (!marked_) return;
  for (SideFile* side : sides_) side->cut();
}

}  // namespace plovanet
