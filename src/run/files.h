// The output file. A regular file (or a new one) is written as a temporary file beside it and
// renamed over it only when the run puts it in place, so an interrupted run leaves the previous
// file, or none. Special files (the null device, pipes, terminals) are written directly. Every
// file operation goes through the file's Disk (run/disk.h), which tests replace.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "run/disk.h"
#include "run/failure.h"

namespace plovanet {

// Owns its temporary file: removed, and its interrupt-cleanup slot cleared, when the file is
// dropped without being put in place.
struct OutputFile {
  std::string name;    // as given (OUT=)
  std::string target;  // where the bytes go in the end: name, or the target of its link
  std::string temp;    // the temporary file while it is written; empty when written directly
  int slot = 0;        // interrupt-cleanup slot of the temporary file
  // The temporary file's content is copied into target at the end instead of renamed over it:
  // its folder takes no new files, or the target's owner cannot be given to a new file.
  bool copyIn = false;
  std::string tempFolder;  // where the temporary file is, when not beside target (for a warning)
  Disk* disk = &realDisk();

  OutputFile() = default;
  explicit OutputFile(Disk& d) : disk(&d) {}
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  OutputFile(OutputFile&& o) noexcept;
  OutputFile& operator=(OutputFile&& o) noexcept;
  ~OutputFile();
};

// Opens name for writing (a temporary file of of's not put in place is removed first); the
// stream is for the Writer, which closes it. A name that leads to one of the other
// files of the run (the parameter file, the other outputs) is refused, however spelled. A name
// that stands for a descriptor (/dev/stdout) is written through it.
std::optional<Fault> openOutput(OutputFile& of, const std::string& name,
                                const std::vector<std::string>& others, int slot, std::FILE*& fp);

// Puts a written temporary file in place (the stream must be closed): renamed over the target,
// or its content copied into it where the target cannot be replaced; false when that failed.
// Nothing to do for a file written directly.
bool commitOutput(OutputFile& of);

// Drops the content of the file a temporary file will replace, so that an interrupt cannot
// leave it beside newer files: removed, or emptied where it is replaced by a copy (which must
// find the file there).
void discardEarlier(const OutputFile& of);

// Removes the temporary file of an output that must not be put in place.
void abandonOutput(OutputFile& of);

// The file of replicate rep: name with "_NNNN" (four digits or more) before the extension of its
// file name, or at its end when that has no dot.
std::string replicateName(const std::string& name, std::int64_t rep);

// The name of the first file among replicates first to last of name that leads to one of others
// (any spelling, links included); empty when there is none. Looked for before the study writes
// anything, without trying every number: only the names the folder holds and the others' own
// names can be such files.
std::string replicateClash(Disk& disk, const std::string& name, std::int64_t first, std::int64_t last,
                           const std::vector<std::string>& others);

}  // namespace plovanet
