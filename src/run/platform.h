// Everything that differs between operating systems, behind one small interface: the standard
// descriptors, broken pipes and interrupts, file identity, the temporary file that becomes the
// output file, memory limits and terminals. The rest of the program stays portable C++.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace plovanet::platform {

// Opens the null device on any of descriptors 0, 1 and 2 that is closed, so that a file opened
// later can never take one of them and receive console text.
void protectStdStreams();

// A closed console pipe and a file-size limit then give write errors instead of ending the
// process.
void ignoreWriteSignals();

// SIGINT, SIGTERM, SIGHUP and SIGXCPU remove the temporary files registered with watchTemp, then end
// the process as the signal would.
void installInterruptCleanup();
// Slot 0..kTempSlots-1 names a temporary file to remove on interrupt; nullptr clears it.
inline constexpr int kTempSlots = 4;
void watchTemp(int slot, const char* path);

// Between the two, an interrupt waits: it is raised again on release. holdInterrupts is false
// (and holds nothing) when an interrupt's handler has begun already.
bool holdInterrupts();
void releaseInterrupts();

enum class FileKind { Missing, Regular, Directory, Special };
// Following symbolic links.
FileKind fileKind(const std::string& path);

// True when both names exist and lead to the same file (any spelling, links included).
bool sameFile(const std::string& a, const std::string& b);

// Where the bytes for path really go: the target of a symbolic link (also one whose target does
// not exist yet), or path itself.
std::string resolvedTarget(const std::string& path);

// The descriptor a name stands for (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N,
// /proc/thread-self/fd/N, however many slashes and "." parts spell them); -1
// for any other name. Such a name is written through its descriptor, never replaced.
int descriptorOf(const std::string& name);
// A stream writing through a copy of descriptor fd (so an append stays an append); null when fd
// is not open for writing.
std::FILE* openDescriptor(int fd);

// True when an existing file may be opened for writing by this process.
bool writable(const std::string& path);

// Creates a new, empty temporary file in the folder of target (its name shortened to fit the
// folder's longest file name), with the permissions writing target directly would give it, and
// opens it for writing (text mode); watched in slot (watchTemp) from before it exists, so that
// no interrupt can leave it. Null when that fails, or when an interrupt has begun.
std::FILE* createTempBeside(const std::string& target, std::string& tempPath, int slot);
// The same in the folder for temporary files (TMPDIR), for a target whose folder takes no new
// files; its content is copied into target at the end. tempFolder is set to that folder.
std::FILE* createTempElsewhere(const std::string& target, std::string& tempPath, std::string& tempFolder,
                               int slot);
// Gives the temporary file the owner and group of an existing target, and on Linux its
// extended attributes where allowed; false when the owner and group are not allowed (the
// target's content must then be replaced in place).
bool keepAttributes(std::FILE* temp, const std::string& target);

// Renames temp over target in one step. Busy: the target cannot be replaced, only written (a
// file mounted on its own, as containers do).
enum class Replaced { Done, Busy, Failed };
Replaced replaceFile(const std::string& temp, const std::string& target);

void removeFile(const std::string& path);

// Writes from's bytes over to's in place, which keeps to itself (its owner, links, a mount on
// it). Room for them is reserved first and interrupts wait while they are written, so to keeps
// either its old content or, complete, the new; false when it kept the old.
bool copyOver(const std::string& from, const std::string& to);

// The byte offset of an unbuffered stream on a regular file; -1 when it has none (a pipe).
std::int64_t filePosition(std::FILE* fp);
// Cuts the file of an unbuffered stream back to size bytes and writes on from there.
bool truncateFile(std::FILE* fp, std::int64_t size);

// Bytes of memory the process can still use: the smallest of physical memory, the address-space
// limit less what is mapped already, and a control-group memory limit. SIZE_MAX when unknown.
std::size_t memoryLimit();

bool isTerminal(std::FILE* fp);

// True when standard output and standard error lead to one file (a terminal, 2>&1), so that a
// line written to both would show twice.
bool sharedConsole();

// This process's id, which tells apart runs started at the same moment.
std::uint32_t processId();

// Where the file name begins in a path: after the last folder separator ('/'; on Windows also
// '\\' and a drive's ':').
std::size_t fileNameStart(const std::string& path);

}  // namespace plovanet::platform
