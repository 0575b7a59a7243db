#include "run/study.h"

#include <chrono>
#include <string>
#include <vector>

#include "run/driver.h"
#include "run/platform.h"
#include "run/setup.h"

namespace plovanet {

// A console that could not be written costs nothing of the output file, but the run must not
// report success: the message goes to standard error, which may still work.
int consoleStatus(std::FILE* console) {
  if (std::fflush(console) == 0 && std::ferror(console) == 0) return 0;
  std::fputs(message(Fault::writeConsole()).c_str(), stderr);
  return 1;
}

namespace {

// Put in place once the run has begun; before that, an earlier file of the name is kept. With
// dropReplicate the rows of the replicate under way are cut off first, so a study's side files
// hold exactly its finished replicates. False when a write, the close or the rename failed: the
// file is then not put in place.
bool closeSide(SideFile& side, bool begun, bool dropReplicate) {
  if (!side.open) return true;
  side.open = false;
  if (dropReplicate && side.mark >= 0) {
    flush(side.out);
    if (!writeFailed(side.out) && !platform::truncateFile(side.out.stream(), side.mark)) side.out.fail();
  }
  if (!closeWriter(side.out)) {
    abandonOutput(side.file);
    return false;
  }
  if (!begun) {
    abandonOutput(side.file);
    return true;
  }
  return commitOutput(side.file);
}

std::optional<Fault> warnTempElsewhere(const Run& run, const OutputFile& of) {
  if (of.tempFolder.empty()) return std::nullopt;
  return warn(run.ctl.strict, Fault::tempElsewhere(of.name, of.tempFolder));
}

// Opens a side file with its header line, written at once so that a file that cannot be
// written stops the run before it begins; null when it was not asked for. others: the files it
// must not lead to (the output files are checked against it when they are opened).
std::optional<Fault> openSide(const Run& run, SideFile& side, Writer*& to, const std::string& name,
                              const std::vector<std::string>& others, int slot, const char* header) {
  to = nullptr;
  if (name.empty()) return std::nullopt;
  side.out = makeWriter(nullptr);
  std::FILE* fp = nullptr;
  if (auto f = openOutput(side.file, name, others, slot, fp)) return f;
  side.out.open(fp);
  side.open = true;
  if (auto f = warnTempElsewhere(run, side.file)) return f;
  put(side.out, header);
  flush(side.out);
  if (writeFailed(side.out)) return Fault::writeOutput(name);
  to = &side.out;
  return std::nullopt;
}

// Where the next replicate's rows begin, so that a replicate that does not finish can be cut off.
std::optional<Fault> markSide(SideFile& side) {
  if (!side.open) return std::nullopt;
  flush(side.out);
  if (writeFailed(side.out)) return Fault::writeOutput(side.file.name);
  side.mark = side.file.temp.empty() ? -1 : platform::filePosition(side.out.stream());
  return std::nullopt;
}

// Progress of a long study on standard error, when that is a terminal.
struct Progress {
  bool on;
  std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
  bool shown = false;
  void update(std::int64_t done, std::int64_t total) {
    if (!on) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::milliseconds(250)) return;
    last = now;
    shown = true;
    std::fprintf(stderr, "\rreplicate %lld of %lld", static_cast<long long>(done),
                 static_cast<long long>(total));
  }
  void clear() const {
    if (shown) std::fputs("\r                                        \r", stderr);
  }
};

}  // namespace

int fail(Program& p, const Fault& fault) {
  const bool study = p.run.ctl.replicates;
  std::string text = message(fault);
  if (p.opened) {
    p.opened = false;
    // Records already made stay in the file, which is put in place as a complete run's would be;
    // a file the run had not begun to write, a replicate of a study that did not finish, or a
    // replicate whose stream ran into the next one's, is not.
    // A failed write shows as the fault itself, or followed from it (memory ran out and the
    // records stopped); a file that could not be put in place is said besides.
    closeWriter(p.run.out);
    if (!p.writing || study || fault.failure() == Failure::StreamBlock) {
      abandonOutput(p.file);
    } else if (!commitOutput(p.file) && fault.writtenFile() != p.file.name) {
      text += message(Fault::writeOutput(p.file.name));
    }
  }
  for (SideFile* side : {&p.truth, &p.csv}) {
    const std::string name = side->file.name;
    if (!closeSide(*side, p.begun, study && p.writing) && fault.writtenFile() != name)
      text += message(Fault::writeOutput(name));  // every failed file, by name
  }
  if (p.run.lineOpen) std::fputc('\n', p.run.console);  // an error line starts on a line of its own
  std::fputs(text.c_str(), p.run.console);
  consoleStatus(p.run.console);
  // Scripts send the console to a file or /dev/null: the error must reach the user as well,
  // once when both streams are one terminal or file.
  if (!platform::sharedConsole()) std::fputs(errorCopy(fault).c_str(), stderr);
  return 1;
}

std::optional<Fault> runStudy(Program& p) {
  Run& run = p.run;
  const Control& ctl = p.ctl;
  const std::int64_t last = ctl.firstrep + ctl.reps - 1;
  p.stage = "the output buffer";
  run.out = makeWriter(nullptr);  // before the output file exists, so running out leaves it alone

  // A study: the same data sets for every replicate, read once; the per-occasion lines give way
  // to one line per replicate. A special file (the null device) takes every replicate as it is.
  const std::string out = ctl.outfile;
  const bool numbered = ctl.replicates && platform::fileKind(out) != platform::FileKind::Special &&
                        platform::descriptorOf(out) < 0;
  // A name with no file part would give files named "_0001" in that folder.
  if (numbered && platform::fileNameStart(out) == out.size()) return Fault::openOutput(out);
  run.src.keep = ctl.replicates && ctl.reps > 1;
  run.report = !ctl.replicates;
  Progress progress{ctl.replicates && ctl.reps > 1 && platform::isTerminal(stderr)};
  std::string first;
  bool warnedElsewhere = false;
  for (std::int64_t rep = ctl.firstrep; rep <= last || !ctl.replicates; ++rep) {
    run.outfile = numbered ? replicateName(out, rep) : out;
    run.rep = ctl.replicates ? rep : 1;
    run.rng = replicateStream(ctl.rng, run.seed, static_cast<std::uint64_t>(run.rep));
    std::FILE* fp = nullptr;
    p.stage = "the output file";
    if (auto f = openOutput(p.file, run.outfile, {ctl.infile, ctl.truthfile, ctl.csvfile}, 0, fp)) return f;
    p.opened = true;
    if (!warnedElsewhere && !p.file.tempFolder.empty()) {
      warnedElsewhere = true;  // once, not for every replicate
      if (auto f = warnTempElsewhere(run, p.file)) return f;
    }
    if (rep == ctl.firstrep) {
      announceRun(run);
      if (auto f =
              openSide(run, p.truth, run.truth, ctl.truthfile, {ctl.infile, ctl.csvfile}, 1,
                       run.design.nprim > 0 ? "rep,dataset,group,class,occasion,seed,entrants,alive,marked,"
                                              "captured,newly_marked,tags_lost,inside\n"
                                            : "rep,dataset,group,class,occasion,seed,entrants,alive,marked,"
                                              "captured,newly_marked,tags_lost\n"))
        return f;
      if (auto f = openSide(run, p.csv, run.csv, ctl.csvfile, {ctl.infile}, 2, "rep,dataset,group,ch,freq\n"))
        return f;
    }
    if (ctl.replicates) {
      if (auto f = markSide(p.truth)) return f;
      if (auto f = markSide(p.csv)) return f;
    }
    p.stage = "the run";
    // Refused before anything is written: every earlier file is kept.
    if (rep == ctl.firstrep) {
      if (auto f = checkGroupMemory(run)) return f;
    }
    p.writing = p.begun = true;
    if (auto f = prepareRun(run, fp)) return f;
    if (auto f = runDataSets(run)) return f;
    if (auto f = finishRun(run)) return f;
    if (!commitOutput(p.file)) return Fault::writeOutput(run.outfile);
    p.opened = p.writing = false;
    // Every replicate of expected values leaves out the same histories: said once.
    if (rep == ctl.firstrep) {
      if (auto f = checkLeftOut(run)) return f;
    }
    if (!ctl.replicates) break;
    if (rep == ctl.firstrep) {
      // The earlier side files belong to another run: from now on an interrupt must not leave
      // them beside this study's replicate files. They are replaced when the study stops.
      for (const SideFile* side : {&p.truth, &p.csv}) {
        if (side->open) discardEarlier(side->file);
      }
    }
    if (first.empty()) first = run.outfile;
    std::fprintf(run.console, "replicate %lld: %s\n", static_cast<long long>(rep), run.outfile.c_str());
    run.src.replay = true;
    run.src.replayed = 0;
    progress.update(rep - ctl.firstrep + 1, ctl.reps);
  }
  progress.clear();
  run.src.in.infp = nullptr;
  run.src.file.reset();
  for (SideFile* side : {&p.truth, &p.csv}) {
    if (!closeSide(*side, true, false)) return Fault::writeOutput(side->file.name);
  }
  if (!ctl.replicates) {
    std::fputs("\noutput saved to 'plovanet.out'\n", run.console);
  } else {
    std::fprintf(run.console, "\noutput saved to '%s'%s%s%s\n", first.c_str(), ctl.reps > 1 ? " ... '" : "",
                 ctl.reps > 1 ? run.outfile.c_str() : "", ctl.reps > 1 ? "'" : "");
  }
  return std::nullopt;
}

}  // namespace plovanet
