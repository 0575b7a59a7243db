#include "run/file_sink.h"

#include <string>
#include <vector>

#include "run/platform.h"
#include "run/setup.h"

namespace plovanet {

namespace {

// Whether fault is the failed write of file: the message already names it.
bool writeFailureOf(const Fault& fault, const std::string& file) {
  return fault.writtenFile() == file;
}

}  // namespace

FileSink::FileSink(const RunConfig& cfg, Console& con, const char*& stage)
    : cfg_(cfg), ctl_(cfg.ctl), con_(con), stage_(stage), records_(cfg) {}

std::optional<Fault> FileSink::prepare() {
  stage_ = "the output buffer";
  out_ = makeWriter(nullptr);  // before the output file exists, so running out leaves it alone
  // A special file (the null device) takes every replicate as it is.
  const std::string& out = ctl_.outfile;
  numbered_ = ctl_.replicates && platform::fileKind(out) != platform::FileKind::Special &&
              platform::descriptorOf(out) < 0;
  // A name with no file part would give files named "_0001" in that folder.
  if (numbered_ && platform::fileNameStart(out) == out.size()) return Fault::openOutput(out);
  // Found now rather than at that replicate, when earlier ones would have been written and the
  // side files replaced.
  if (numbered_) {
    const std::string clash = replicateClash(realDisk(), out, ctl_.firstrep, ctl_.firstrep + ctl_.reps - 1,
                                             {ctl_.infile, ctl_.truthfile, ctl_.csvfile, ctl_.animalsfile});
    if (!clash.empty() && !ctl_.animalsfile.empty() && realDisk().sameFile(clash, ctl_.animalsfile))
      return Fault::animalsSameFile(ctl_.animalsfile);
    if (!clash.empty()) return Fault::sameFile(clash);
  }
  showProgress_ = ctl_.replicates && ctl_.reps > 1 && platform::isTerminal(stderr);
  progressBeside_ = showProgress_ && platform::isTerminal(con_.fp);
  return std::nullopt;
}

std::optional<Fault> FileSink::openSides() {
  const std::string header = records_.truthHeader();
  if (auto f = truth_.open(ctl_.truthfile, {ctl_.infile, ctl_.csvfile}, 1, header, ctl_)) return f;
  if (auto f = csv_.open(ctl_.csvfile, {ctl_.infile}, 2, records_.csvHeader(), ctl_)) return f;
  // The output file is opened first and does not look for it, so a clash is named for ANIMALS=.
  if (auto f = animals_.open(ctl_.animalsfile, {ctl_.infile, outfile_, ctl_.truthfile, ctl_.csvfile}, 3,
                             records_.animalsHeader(), ctl_)) {
    if (f->failure() == Failure::SameFile) return Fault::animalsSameFile(ctl_.animalsfile);
    return f;
  }
  records_.sides({truth_.writer(), ctl_.truthfile}, {csv_.writer(), ctl_.csvfile},
                 {animals_.writer(), ctl_.animalsfile});
  return std::nullopt;
}

std::optional<Fault> FileSink::begin(const Replicate& r) {
  const bool first = r.rep == ctl_.firstrep;
  const Design& d = cfg_.design();
  outfile_ = numbered_ ? replicateName(ctl_.outfile, r.rep) : ctl_.outfile;
  files_.emplace(std::vector<SideFile*>{&truth_, &csv_, &animals_});
  std::FILE* fp = nullptr;
  stage_ = "the output file";
  if (auto f = files_->open(outfile_, {ctl_.infile, ctl_.truthfile, ctl_.csvfile}, fp)) return f;
  opened_ = true;
  if (!warnedElsewhere_ && !files_->output().tempFolder.empty()) {
    warnedElsewhere_ = true;  // once, not for every replicate
    if (auto f = warnTempElsewhere(files_->output(), ctl_)) return f;
  }
  if (first) {
    announceRun(con_.fp, d);
    if (auto f = openSides()) return f;
  }
  if (ctl_.replicates) {
    if (auto f = files_->markSides()) return f;
  }
  stage_ = "the run";
  // Refused before anything is written: every earlier file is kept.
  if (first) {
    if (auto f = checkGroupMemory(ctl_.mxgrps, d, cfg_.memoryAvailable())) return f;
  }
  writing_ = begun_ = true;
  out_.open(fp);
  records_.output({&out_, outfile_});
  return records_.begin(r);
}

std::optional<Fault> FileSink::end(const Replicate& r) {
  const bool first = r.rep == ctl_.firstrep;
  if (auto f = records_.end(r)) return f;
  if (!closeWriter(out_) || !files_->commit()) return Fault::writeOutput(outfile_);
  files_.reset();
  opened_ = writing_ = false;
  // Every replicate of expected values leaves out the same histories: said once.
  if (first) {
    if (auto f = records_.checkLeftOut(r)) return f;
  }
  if (!ctl_.replicates) return std::nullopt;
  if (first) {
    // The earlier side files belong to another run: from now on an interrupt must not leave
    // them beside this study's replicate files. They are replaced when the study stops.
    truth_.discardEarlier();
    csv_.discardEarlier();
    animals_.discardEarlier();
  }
  if (first_.empty()) first_ = outfile_;
  // The replicate's line and the progress line share the screen when both streams are on it.
  const bool shown = progressBeside_ && clearProgress();
  std::fprintf(con_.fp, "replicate %lld: %s\n", static_cast<long long>(r.rep), outfile_.c_str());
  progress(r.rep - ctl_.firstrep + 1, shown);
  return std::nullopt;
}

bool FileSink::clearProgress() {
  if (!progressShown_) return false;
  progressShown_ = false;
  std::fflush(con_.fp);
  std::fputs("\r                                        \r", stderr);
  return true;
}

void FileSink::progress(std::int64_t done, bool again) {
  if (!showProgress_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!again && now - lastProgress_ < std::chrono::milliseconds(250)) return;
  lastProgress_ = now;
  progressShown_ = true;
  std::fprintf(stderr, "\rreplicate %lld of %lld", static_cast<long long>(done),
               static_cast<long long>(ctl_.reps));
}

std::optional<Fault> FileSink::finish() {
  clearProgress();
  for (SideFile* side : {&truth_, &csv_, &animals_}) {
    if (!side->close(true)) return Fault::writeOutput(side->file().name);
  }
  if (!ctl_.replicates) {
    std::fputs("\noutput saved to 'plovanet.out'\n", con_.fp);
  } else {
    const bool more = ctl_.reps > 1;
    std::fprintf(con_.fp, "\noutput saved to '%s'%s%s%s\n", first_.c_str(), more ? " ... '" : "",
                 more ? outfile_.c_str() : "", more ? "'" : "");
  }
  return std::nullopt;
}

std::vector<Fault> FileSink::fail(const Fault& fault) {
  const bool study = ctl_.replicates;
  std::vector<Fault> more;
  clearProgress();  // the messages that follow start at the line's beginning
  if (opened_) {
    opened_ = false;
    // Records already made stay in the file, which is put in place as a complete run's would be;
    // a file the run had not begun to write, a replicate of a study that did not finish, or a
    // replicate whose stream ran into the next one's, is not.
    // A failed write shows as the fault itself, or followed from it (memory ran out and the
    // records stopped); a file that could not be put in place is said besides.
    // A file-size limit strikes every file: the output file's own failed write is named too
    // when another file's failed first, and a cut output file is put in place only by a run
    // that writes no other file (as one written directly would be left).
    const bool ownFault = writeFailureOf(fault, outfile_);
    const bool cut = !closeWriter(out_) && fault.writtenFile().has_value();
    const bool alone = ctl_.truthfile.empty() && ctl_.csvfile.empty() && ctl_.animalsfile.empty();
    if (!writing_ || study || fault.failure() == Failure::StreamBlock || (cut && !(ownFault && alone))) {
      files_->abandon();
      if (cut && !ownFault) more.push_back(Fault::writeOutput(outfile_));
    } else if (!files_->commit() && !ownFault) {
      more.push_back(Fault::writeOutput(outfile_));
    }
  }
  files_.reset();
  for (SideFile* side : {&truth_, &csv_, &animals_}) {
    const std::string name = side->file().name;
    if (!side->close(begun_) && !writeFailureOf(fault, name))
      more.push_back(Fault::writeOutput(name));  // every failed file, by name
  }
  return more;
}

}  // namespace plovanet
