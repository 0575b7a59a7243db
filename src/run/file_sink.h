// The command line's end of a study: every replicate's output file, the TRUTH=, CSV= and ANIMALS= files
// that span the study, the replicate lines and progress on the console, and what becomes of each
// file when the run fails. What goes into the files is RecordsSink's.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "output/writer.h"
#include "run/failure.h"
#include "run/output_set.h"
#include "run/records_sink.h"
#include "run/run.h"

namespace plovanet {

class FileSink final : public StudySink {
 public:
  // stage names what the run is doing, for a failed allocation's message.
  FileSink(const RunConfig& cfg, Console& con, const char*& stage);

  // Before the first replicate: the output buffer, and a study's output name checked.
  std::optional<Fault> prepare();

  // The replicate's output file opened (and with the first, the side files), its header written.
  std::optional<Fault> begin(const Replicate& r) override;
  std::optional<Fault> truth(const Replicate& r, const Totals& tot) override {
    return records_.truth(r, tot);
  }
  std::optional<Fault> block(const Replicate& r, Column& col) override { return records_.block(r, col); }
  std::optional<Fault> table(const Replicate& r, std::vector<Column>& cols) override {
    return records_.table(r, cols);
  }
  AnimalLog* animals(const Replicate& r) override { return records_.animals(r); }
  // The trailers written and the output file put in place; in a study, its line on the console.
  std::optional<Fault> end(const Replicate& r) override;

  // After the last replicate: the side files put in place and the closing line.
  std::optional<Fault> finish();

  // The end of a failed run: the files closed and put in place or removed. Returns the faults of
  // the files that could not be put in place besides the fault's own.
  std::vector<Fault> fail(const Fault& fault);

 private:
  std::optional<Fault> openSides();
  // The progress line, every quarter second; again: at once, redrawn below a line just written.
  void progress(std::int64_t done, bool again);
  // Clears a progress line shown, so that the next text on the screen starts a clean line; true
  // when there was one.
  bool clearProgress();

  const RunConfig& cfg_;
  const Control& ctl_;
  Console& con_;
  const char*& stage_;
  RecordsSink records_;
  // Declared so that they go in this order: the output stream is closed before the replicate's
  // files are abandoned (Windows removes no open file), and those before the side files whose
  // rows they cut.
  SideFile truth_, csv_, animals_;
  std::optional<OutputSet> files_;  // the replicate under way
  Writer out_;
  std::string outfile_;    // the replicate's output file
  bool numbered_ = false;  // a study's files are named by replicate
  bool opened_ = false;    // the replicate's output file exists (as a temporary file or directly)
  bool writing_ = false;   // the run has begun to write it
  bool begun_ = false;     // some replicate has begun to write
  bool warnedElsewhere_ = false;
  std::string first_;  // the first replicate's output file
  // Progress of a long study on standard error, when that is a terminal.
  bool showProgress_ = false, progressShown_ = false;
  bool progressBeside_ = false;  // the console's lines go to the same screen
  std::chrono::steady_clock::time_point lastProgress_ = std::chrono::steady_clock::now();
};

}  // namespace plovanet
