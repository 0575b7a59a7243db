// The output file's replace, commit and abandon logic (run/files.cpp) against a disk in memory
// that fails where told: what is left on the disk afterwards, byte for byte.
#include "run/files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <optional>
#include <string>

#include "output/writer.h"
#include "run/memory_disk.h"

namespace plovanet {

namespace {

using test::MemoryDisk;
using Contents = std::map<std::string, std::string>;

const char* const kOut = "/w/o.out";
const char* const kNew = "a1b2c3";  // what every case writes, in three writes

void oldFile(MemoryDisk& d) {
  d.put(kOut, "old");
}
void ownerNotKept(MemoryDisk& d) {
  d.put(kOut, "old")->foreignOwner = true;
}
template <int Errno>
void renameFails(MemoryDisk& d) {
  oldFile(d);
  d.renameErrno = Errno;
}
// Standard output appended to a log.
void stdoutToLog(MemoryDisk& d) {
  d.descriptorNames["/dev/stdout"] = 1;
  d.descriptors[1] = d.put("/w/log", "earlier ");
}

}  // namespace

// The paths whole runs cannot take on every machine (they need root, a mount or a failing
// rename). Those they take are golden cases: a new or replaced file (most of them), an abandoned
// one (refused_keeps_earlier_files, truth_open_fails_keeps_output), a full disk
// (limit/file_size_part_put_in_place, study_failed_replicate_not_kept), links (out_dangling_link),
// descriptors (out_descriptor_names), a study's side files discarded (interrupt_study_side_files).
TEST(Files, ReplaceCommitAbandon) {
  // Gone: the target's folder goes away, then the file is put in place.
  enum class End { Commit, Abandon, Drop, Discard, DiscardCommit, GoneCommit };
  enum Outcome : unsigned {
    kKept = 1,         // the target's file is the one it was before, written into, not replaced
    kUncommitted = 2,  // commitOutput said false
  };
  struct Case {
    const char* what;
    const char* out;  // OUT=; the parameter file is /w/p.txt
    void (*setup)(MemoryDisk&);
    End end;
    const Contents& after;  // every file on the disk: no temporary file is left
    unsigned outcome = 0;
    std::optional<Failure> fault = std::nullopt;  // from openOutput
  };
  const Contents none, untouched = {{kOut, "old"}}, replaced = {{kOut, kNew}}, emptied = {{kOut, ""}},
                       device = {{"/w/dev", kNew}}, log = {{"/w/log", "earlier a1b2c3"}};
  const Case cases[] = {
      {"a file is replaced", kOut, oldFile, End::Commit, replaced},
      {"a dropped file leaves the target", kOut, oldFile, End::Drop, untouched, kKept},
      {"a rename across devices fails: the target stays", kOut, renameFails<EXDEV>, End::Commit, untouched,
       kKept | kUncommitted},
      {"a rename refused: the target stays", kOut, renameFails<EACCES>, End::Commit, untouched,
       kKept | kUncommitted},
      {"a busy target is copied into", kOut, renameFails<EBUSY>, End::Commit, replaced, kKept},
      // Room for the copy is found before the target changes: it keeps its old bytes.
      {"a busy target whose copy fails keeps its content", kOut,
       [](MemoryDisk& d) { renameFails<EBUSY>(d), d.failFromWrite = 4; }, End::Commit, untouched,
       kKept | kUncommitted},
      {"a target whose owner a new file cannot have is copied into", kOut, ownerNotKept, End::Commit,
       replaced, kKept},
      {"a target copied into whose copy fails keeps its content", kOut,
       [](MemoryDisk& d) { ownerNotKept(d), d.failFromWrite = 4; }, End::Commit, untouched,
       kKept | kUncommitted},
      {"a folder that takes no new files: written in TMPDIR, copied in", kOut,
       [](MemoryDisk& d) { oldFile(d), d.folders["/w"] = false; }, End::Commit, replaced, kKept},
      {"a folder and TMPDIR that take no new files: refused, the target stays", kOut,
       [](MemoryDisk& d) { oldFile(d), d.folders["/w"] = d.folders["/tmp"] = false; }, End::Commit, untouched,
       kKept, Failure::NoTempFile},
      {"a new file in a folder that takes none is refused", kOut,
       [](MemoryDisk& d) { d.folders["/w"] = false; }, End::Commit, none, 0, Failure::OpenOutput},
      {"a new file without a temporary file is written directly, abandoned or not", kOut,
       [](MemoryDisk& d) { d.tempBesideFails = true; }, End::Abandon, replaced},
      {"a read-only target is refused", kOut, [](MemoryDisk& d) { d.put(kOut, "old")->readOnly = true; },
       End::Commit, untouched, kKept, Failure::OpenOutput},
      {"a folder gone before the rename", kOut, oldFile, End::GoneCommit, none, kUncommitted},
      {"a folder gone before the copy", kOut, ownerNotKept, End::GoneCommit, none, kUncommitted},
      {"a device is written where it is", "/w/dev",
       [](MemoryDisk& d) { d.put("/w/dev", "")->special = true; }, End::Drop, device, kKept},
      // A study's side files once its first replicate is in place.
      {"discarded in copy-in mode: emptied, kept for the copy", kOut, ownerNotKept, End::Discard, emptied,
       kKept},
      {"discarded in copy-in mode, then copied in", kOut, ownerNotKept, End::DiscardCommit, replaced, kKept},
      {"a descriptor is written through, appended to, never discarded", "/dev/stdout", stdoutToLog,
       End::DiscardCommit, log, kKept},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryDisk disk;
    c.setup(disk);
    // The file the name leads to: a descriptor's, or the one of that name.
    const auto fileOf = [&disk](const std::string& n) {
      if (disk.descriptorNames.contains(n)) return disk.descriptors[disk.descriptorNames[n]];
      return disk.files.contains(n) ? disk.files[n] : nullptr;
    };
    const auto before = fileOf(c.out);
    bool committed = true;
    {
      OutputFile of(disk);
      std::FILE* fp = nullptr;
      const auto fault = openOutput(of, c.out, {"/w/p.txt"}, 1, fp);
      EXPECT_EQ(fault ? std::optional(fault->failure()) : std::nullopt, c.fault);
      if (!fault) {
        // An interrupt removes the temporary file, and only that; a warning names its folder
        // when it is not beside the target.
        std::map<int, std::string> watched;
        if (!of.temp.empty()) watched[1] = of.temp;
        EXPECT_EQ(disk.watched, watched);
        EXPECT_EQ(of.tempFolder.empty(), !of.temp.starts_with("/tmp/"));
        Writer w = makeWriter(fp, 1024);
        for (const char* s : {"a1", "b2", "c3"}) put(w, s), flush(w);
        if (c.end == End::Discard || c.end == End::DiscardCommit) discardEarlier(of);
        if (c.end == End::GoneCommit) disk.removeFolder("/w");
        EXPECT_TRUE(closeWriter(w));
        if (c.end == End::Abandon) abandonOutput(of);
        if (c.end == End::Commit || c.end == End::DiscardCommit || c.end == End::GoneCommit)
          committed = commitOutput(of);
      }
    }
    EXPECT_EQ(disk.contents(), c.after);
    EXPECT_EQ(before != nullptr && fileOf(c.out) == before, (c.outcome & kKept) != 0);
    EXPECT_EQ(committed, (c.outcome & kUncommitted) == 0);
    EXPECT_TRUE(disk.watched.empty());
  }
}

}  // namespace plovanet
