// The files a run writes, as transactions. A replicate's files are one OutputSet: its output
// file, and its rows in the side files (TRUTH=, CSV=) that span the study. commit() puts the
// output file in place and keeps the rows; a set dropped without commit removes the output
// file's temporary file and cuts the side files back to where the replicate began. A side file
// is put in place when the study ends (close), or left out when the run never began to write.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "output/writer.h"
#include "run/control.h"
#include "run/failure.h"
#include "run/files.h"

namespace plovanet {

// A temporary file made away from its file (copied in at the end), warned of; an error with
// STRICT.
std::optional<Fault> warnTempElsewhere(const OutputFile& of, const Control& ctl);

// A file written besides the output file (TRUTH=, CSV=), one for the whole study.
class SideFile {
 public:
  // Opens name with its header line, written at once so that a file that cannot be written stops
  // the run before it begins; nothing when name is empty (not asked for). others: the files it
  // must not lead to; slot: its interrupt-cleanup slot. A temporary file made away from the file
  // is warned of (an error with STRICT).
  std::optional<Fault> open(const std::string& name, const std::vector<std::string>& others, int slot,
                            const std::string& header, const Control& ctl);
  // The writer, or null when the file is not written.
  Writer* writer() { return open_ ? &out_ : nullptr; }
  const OutputFile& file() const { return file_; }
  // Where the next replicate's rows begin, so that a replicate that does not finish can be cut off.
  std::optional<Fault> mark();
  // Cuts off the rows written since mark() (a file of unknown position keeps them).
  void cut();
  // Drops the earlier file of the name, once the study's files are about to replace it.
  void discardEarlier();
  // Closes the file and puts it in place when begun (the run began to write); otherwise an
  // earlier file of the name is kept. False when a write, the close or putting it in place failed:
  // it is then not put in place.
  bool close(bool begun);

 private:
  OutputFile file_;
  Writer out_;
  bool open_ = false;
  std::int64_t mark_ = -1;  // where the current replicate's rows begin; -1: unknown (not a file)
};

// The files of one replicate: its output file (opened here, written through a Writer the caller
// keeps) and its rows in the side files.
class OutputSet {
 public:
  explicit OutputSet(std::vector<SideFile*> sides) : sides_(std::move(sides)) {}
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;
  ~OutputSet() { abandon(); }

  // Opens the output file name (see openOutput) and notes where each side file's rows begin; fp
  // is the stream to write, for the caller's Writer.
  std::optional<Fault> open(const std::string& name, const std::vector<std::string>& others, std::FILE*& fp);
  // Where the side files' rows of this replicate begin (in a study, which cuts them on failure).
  std::optional<Fault> markSides();
  const OutputFile& output() const { return out_; }
  // Puts the output file in place (its stream closed) and keeps the side files' rows; false when
  // the output file could not be put in place.
  bool commit();
  // Removes the output file's temporary file and cuts the side files' rows written since
  // markSides. Done by the destructor unless committed.
  void abandon();

 private:
  std::vector<SideFile*> sides_;
  OutputFile out_;
  bool marked_ = false;
  bool done_ = false;
};

}  // namespace plovanet
