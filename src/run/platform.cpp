#include "run/platform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string_view>

#include <atomic>
#include <csignal>

namespace plovanet::platform {

namespace {

// The temporary paths the interrupt handler removes. The handler may run on another thread
// while a path is being replaced (Windows runs it on a thread of its own; a POSIX signal may
// arrive on any thread), so a path is never written where the handler may read: each slot has
// two buffers, the new path goes into the one not published, and only then is it published by
// one atomic store. Once the handler has begun (busy), nothing is written any more.
constexpr std::size_t kPathRoom = 4096;
struct TempSlot {
  char path[2][kPathRoom + 1];
  std::atomic<int> published{0};  // 0: none; 1 or 2: path[published - 1]
};
TempSlot tempSlots[kTempSlots];
std::atomic<int> handlerBusy{0};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

// From the handler: calls remove(path) for every published path, and again for a path
// published while it ran.
template <class Remove>
void removeWatched(Remove remove) {
  handlerBusy.fetch_add(1);
  for (TempSlot& slot : tempSlots) {
    int seen = 0;
    for (int i = slot.published.load(); i != 0 && i != seen; i = slot.published.load()) {
      remove(slot.path[i - 1]);
      seen = i;
    }
  }
}

}  // namespace

void watchTemp(int slot, const char* path) {
  if (slot < 0 || slot >= kTempSlots || handlerBusy.load() != 0) return;
  TempSlot& t = tempSlots[slot];
  const int current = t.published.load();
  if (path == nullptr || std::strlen(path) > kPathRoom) {
    t.published.store(0);
    return;
  }
  const int next = current == 1 ? 2 : 1;
  std::memcpy(t.path[next - 1], path, std::strlen(path) + 1);
  t.published.store(next);
}

}  // namespace plovanet::platform

#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <windows.h>

// File names stay narrow strings, as the C library's fopen takes them (in the ANSI code page);
// the ...A calls below read them the same way, so both always agree on which file is meant.
namespace plovanet::platform {

namespace {

// Ctrl+C and Ctrl+Break run this on a thread of their own while the main thread may still be
// writing. The temporary file is opened with delete sharing, so it can be removed even so.
extern "C" void onInterrupt(int sig) {
  removeWatched([](const char* path) { DeleteFileA(path); });
  // The status a console program ended by Ctrl+C gets from Windows itself; SIGTERM, which only
  // raise() sends there, ends with the C library's 3.
  TerminateProcess(GetCurrentProcess(), sig == SIGTERM ? 3U : STATUS_CONTROL_C_EXIT);
}

// An open handle on path (file or folder, links followed) only to ask about it; null on failure.
HANDLE queryHandle(const std::string& path) {
  const HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

}  // namespace

// The C library opened descriptors 0-2 at start only for standard handles that lead somewhere;
// asking it about the others would call its invalid-parameter handler, so ask Windows instead.
void protectStdStreams() {
  const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int fd = 0; fd <= 2; ++fd) {
    const HANDLE h = GetStdHandle(which[fd]);
    if (h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN) continue;
    const int got = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (got >= 0 && got != fd) {
      _dup2(got, fd);
      _close(got);
    }
  }
}

// Windows has no SIGPIPE or SIGXFSZ: such writes already fail with an error.
void ignoreWriteSignals() {}

void installInterruptCleanup() {
  for (int sig : {SIGINT, SIGBREAK, SIGTERM}) std::signal(sig, onInterrupt);
}

FileKind fileKind(const std::string& path) {
  HANDLE h = queryHandle(path);
  if (h == nullptr) {
    // The console (CON) opens only for reading or for writing; this opens it for writing, and
    // an existing file without changing it.
    h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) h = nullptr;
  }
  if (h == nullptr) {
    // Some files cannot be opened even to ask (in use by the system, say); their attributes can.
    const DWORD attrs = GetFileAttributesA(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return FileKind::Missing;
    return (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Directory : FileKind::Regular;
  }
  FileKind kind = FileKind::Special;  // NUL, CON, a pipe
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info)) {
    kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Directory : FileKind::Regular;
  }
  CloseHandle(h);
  return kind;
}

bool sameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  const HANDLE ha = queryHandle(a);
  if (ha == nullptr) return false;
  const HANDLE hb = queryHandle(b);
  const bool ok = hb != nullptr && GetFileInformationByHandle(ha, &ia) && GetFileInformationByHandle(hb, &ib);
  CloseHandle(ha);
  if (hb != nullptr) CloseHandle(hb);
  return ok && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

std::string resolvedTarget(const std::string& path) {
  const DWORD attrs = GetFileAttributesA(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
  const HANDLE h = queryHandle(path);
  if (h == nullptr) return path;
  char buf[MAX_PATH + 8];
  const DWORD n = GetFinalPathNameByHandleA(h, buf, sizeof buf, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(h);
  if (n == 0 || n >= sizeof buf) return path;
  // "\\?\C:\folder\file" or "\\?\UNC\server\share\file"
  const std::string full(buf, n);
  if (full.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + full.substr(8);
  if (full.rfind("\\\\?\\", 0) == 0) return full.substr(4);
  return full;
}

// Windows names its standard streams CON and CONOUT$, which are special files already.
int descriptorOf(const std::string&) {
  return -1;
}

std::FILE* openDescriptor(int) {
  return nullptr;
}

bool writable(const std::string& path) {
  // Also false for a file another program holds open without sharing it for writing.
  const HANDLE h =
      CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

namespace {

// A new file in the folder takes the folder's inherited permissions, as writing target would.
std::FILE* createTempIn(const std::string& folder, const std::string& target, std::string& tempPath) {
  const auto cut = target.find_last_of("/\\:");
  // 255 characters at most for a file name: ".", the name, "." and up to 10 characters.
  const std::string base = (cut == std::string::npos ? target : target.substr(cut + 1)).substr(0, 243);
  for (unsigned n = 0; n < 100; ++n) {
    char tag[32];
    std::snprintf(tag, sizeof tag, ".%lx%02x", static_cast<unsigned long>(GetCurrentProcessId()), n);
    const std::string name = folder + "." + base + tag;
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_WRONLY | _O_TEXT);
    std::FILE* fp = fd >= 0 ? _fdopen(fd, "w") : nullptr;
    if (fp == nullptr) {
      if (fd >= 0) {
        _close(fd);
      } else {
        CloseHandle(h);
      }
      DeleteFileA(name.c_str());
      return nullptr;
    }
    tempPath = name;
    return fp;
  }
  return nullptr;
}

}  // namespace

std::FILE* createTempBeside(const std::string& target, std::string& tempPath) {
  const auto cut = target.find_last_of("/\\:");
  return createTempIn(cut == std::string::npos ? "" : target.substr(0, cut + 1), target, tempPath);
}

std::FILE* createTempElsewhere(const std::string& target, std::string& tempPath, std::string& tempFolder) {
  char buf[MAX_PATH + 2];
  const DWORD n = GetTempPathA(sizeof buf, buf);
  if (n == 0 || n >= sizeof buf) return nullptr;
  tempFolder.assign(buf, n);
  return createTempIn(tempFolder, target, tempPath);
}

// A replaced file takes the folder's permissions (see README); nothing more to keep here.
bool keepAttributes(std::FILE*, const std::string&) {
  return true;
}

Replaced replaceFile(const std::string& temp, const std::string& target) {
  return MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0 ? Replaced::Done
                                                                                   : Replaced::Failed;
}

void removeFile(const std::string& path) {
  DeleteFileA(path.c_str());
}

std::int64_t filePosition(std::FILE* fp) {
  return GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(fp)))) == FILE_TYPE_DISK ? _ftelli64(fp)
                                                                                                : -1;
}

bool truncateFile(std::FILE* fp, std::int64_t size) {
  return _chsize_s(_fileno(fp), size) == 0 && _fseeki64(fp, size, SEEK_SET) == 0;
}

// Physical memory, the address space still free, and a memory limit of the job the process
// runs in (a batch system's, say).
std::size_t memoryLimit() {
  std::size_t limit = SIZE_MAX;
  MEMORYSTATUSEX ms{};
  ms.dwLength = sizeof ms;
  if (GlobalMemoryStatusEx(&ms)) {
    limit = static_cast<std::size_t>(std::min<DWORDLONG>(ms.ullTotalPhys, ms.ullAvailVirtual));
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION job{};
  if (QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job, nullptr)) {
    const DWORD flags = job.BasicLimitInformation.LimitFlags;
    if ((flags & JOB_OBJECT_LIMIT_PROCESS_MEMORY) != 0) limit = std::min(limit, job.ProcessMemoryLimit);
    if ((flags & JOB_OBJECT_LIMIT_JOB_MEMORY) != 0) limit = std::min(limit, job.JobMemoryLimit);
  }
  return limit;
}

// A console, not merely a character device such as NUL.
bool isTerminal(std::FILE* fp) {
  const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(fp)));
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

namespace {

// One file's identity: its volume and 128-bit id where the file system gives them (also for
// handles on Linux files under Wine), else its volume and 64-bit index.
bool fileIdentity(HANDLE h, unsigned long long& volume, unsigned char (&id)[16]) {
  FILE_ID_INFO info{};
  if (GetFileInformationByHandleEx(h, FileIdInfo, &info, sizeof info)) {
    volume = info.VolumeSerialNumber;
    std::memcpy(id, info.FileId.Identifier, sizeof id);
    return true;
  }
  BY_HANDLE_FILE_INFORMATION old;
  if (!GetFileInformationByHandle(h, &old)) return false;
  volume = old.dwVolumeSerialNumber;
  std::memset(id, 0, sizeof id);
  std::memcpy(id, &old.nFileIndexLow, sizeof old.nFileIndexLow);
  std::memcpy(id + 4, &old.nFileIndexHigh, sizeof old.nFileIndexHigh);
  return true;
}

}  // namespace

// One handle, one console, or one file by identity. Two handles on one pipe without such an
// identity cannot be told apart; such a pipe shows an error twice.
bool sharedConsole() {
  const auto out = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
  const auto err = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr)));
  if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) return false;
  if (out == err) return true;
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode) != 0 && GetConsoleMode(err, &mode) != 0) return true;
  unsigned long long vo = 0, ve = 0;
  unsigned char io[16], ie[16];
  return fileIdentity(out, vo, io) && fileIdentity(err, ve, ie) && vo == ve &&
         std::memcmp(io, ie, sizeof io) == 0;
}

std::uint32_t processId() {
  return static_cast<std::uint32_t>(GetCurrentProcessId());
}

std::size_t fileNameStart(const std::string& path) {
  const auto cut = path.find_last_of("/\\:");
  return cut == std::string::npos ? 0 : cut + 1;
}

}  // namespace plovanet::platform

#else

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace plovanet::platform {

namespace {

extern "C" void onInterrupt(int sig) {
  removeWatched([](const char* path) { unlink(path); });
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A limit file of a memory control group: a number of bytes, or "max".
std::size_t readLimit(const std::string& path) {
  std::ifstream in(path);
  unsigned long long v = 0;
  if (!(in >> v)) return SIZE_MAX;
  return v >= SIZE_MAX ? SIZE_MAX : static_cast<std::size_t>(v);
}

std::size_t cgroupLimit() {
  std::ifstream in("/proc/self/cgroup");
  std::size_t best = SIZE_MAX;
  for (std::string line; std::getline(in, line);) {
    // "0::/path" for the unified hierarchy, "N:memory:/path" for the old one.
    const auto a = line.find(':'), b = line.find(':', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    const std::string_view ctrl = std::string_view(line).substr(a + 1, b - a - 1);
    const std::string rel = line.substr(b + 1);
    if (ctrl.empty()) {
      const std::size_t max = readLimit("/sys/fs/cgroup" + rel + "/memory.max");
      const std::size_t cur = readLimit("/sys/fs/cgroup" + rel + "/memory.current");
      if (max != SIZE_MAX) best = std::min(best, cur != SIZE_MAX && cur < max ? max - cur : max);
    } else if (ctrl.find("memory") != std::string_view::npos) {
      best = std::min(best, readLimit("/sys/fs/cgroup/memory" + rel + "/memory.limit_in_bytes"));
    }
  }
  return best;
}

mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

void protectStdStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    const int got = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (got >= 0 && got != fd) {
      dup2(got, fd);
      close(got);
    }
  }
}

void ignoreWriteSignals() {
  std::signal(SIGPIPE, SIG_IGN);
  // A file-size limit (ulimit -f, a batch scheduler's) then fails the write with EFBIG, which the
  // run reports, instead of killing the process with its temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
}

void installInterruptCleanup() {
  // SIGXCPU: a CPU-time limit (ulimit -t; how PBS and SGE end a job) ends the run like SIGTERM.
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGXCPU}) {
    // A signal ignored on purpose (nohup, a background job) stays ignored.
    if (std::signal(sig, onInterrupt) == SIG_IGN) std::signal(sig, SIG_IGN);
  }
}

FileKind fileKind(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return FileKind::Missing;
  if (S_ISREG(st.st_mode)) return FileKind::Regular;
  if (S_ISDIR(st.st_mode)) return FileKind::Directory;
  return FileKind::Special;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string resolvedTarget(const std::string& path) {
  char buf[PATH_MAX + 1];
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  if (realpath(path.c_str(), buf) != nullptr) return buf;
  // A link to a file not there yet: opening it would create that file, so the run does too.
  std::string at = path;
  for (int hop = 0; hop < 40 && lstat(at.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++hop) {
    const ssize_t n = readlink(at.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return path;
    const std::string to(buf, static_cast<std::size_t>(n));
    at = to.front() == '/' ? to : folderOf(at) + "/" + to;
  }
  return at;
}

int descriptorOf(const std::string& name) {
  if (name == "/dev/stdout") return 1;
  if (name == "/dev/stderr") return 2;
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::size_t len = std::strlen(prefix);
    if (name.size() <= len || name.size() > len + 9 || name.compare(0, len, prefix) != 0) continue;
    if (name.find_first_not_of("0123456789", len) != std::string::npos) return -1;
    return std::stoi(name.substr(len));
  }
  return -1;
}

std::FILE* openDescriptor(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags == -1 || (flags & O_ACCMODE) == O_RDONLY) return nullptr;
  const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (copy < 0) return nullptr;
  std::FILE* fp = fdopen(copy, "w");  // no truncation: the descriptor's file stays as it is
  if (fp == nullptr) close(copy);
  return fp;
}

bool writable(const std::string& path) {
  return access(path.c_str(), W_OK) == 0;
}

namespace {

std::FILE* createTempIn(const std::string& folder, const std::string& target, std::string& tempPath) {
  const auto slash = target.find_last_of('/');
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  // "." + base + ".XXXXXX" must fit the folder's longest file name.
  const long room = pathconf(folder.c_str(), _PC_NAME_MAX);
  const std::size_t most = room > 8 ? static_cast<std::size_t>(room) - 8 : 247;
  if (base.size() > most) base.resize(most);
  std::string name = folder + "/." + base + ".XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) return nullptr;
  struct stat st {};
  fchmod(fd, stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : newFileMode());
  std::FILE* fp = fdopen(fd, "w");
  if (fp == nullptr) {
    close(fd);
    unlink(name.c_str());
    return nullptr;
  }
  tempPath = name;
  return fp;
}

}  // namespace

std::FILE* createTempBeside(const std::string& target, std::string& tempPath) {
  return createTempIn(folderOf(target), target, tempPath);
}

std::FILE* createTempElsewhere(const std::string& target, std::string& tempPath, std::string& tempFolder) {
  const char* dir = std::getenv("TMPDIR");
  tempFolder = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  return createTempIn(tempFolder, target, tempPath);
}

bool keepAttributes(std::FILE* temp, const std::string& target) {
  struct stat st {}, mine{};
  const int fd = fileno(temp);
  if (stat(target.c_str(), &st) != 0 || fstat(fd, &mine) != 0) return true;  // a new file
#ifdef __linux__
  // Extended attributes (a project's labels, an access list): copied as far as allowed.
  char names[4096], value[4096];
  const ssize_t len = listxattr(target.c_str(), names, sizeof names);
  for (ssize_t at = 0; at < len; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    const ssize_t n = getxattr(target.c_str(), names + at, value, sizeof value);
    if (n >= 0) fsetxattr(fd, names + at, value, static_cast<std::size_t>(n), 0);
  }
#endif
  if (st.st_uid == mine.st_uid && st.st_gid == mine.st_gid) return true;
  if (fchown(fd, st.st_uid, st.st_gid) != 0) return false;
  fchmod(fd, st.st_mode & 07777);  // a change of owner clears the set-id bits
  return true;
}

Replaced replaceFile(const std::string& temp, const std::string& target) {
  if (std::rename(temp.c_str(), target.c_str()) == 0) return Replaced::Done;
  return errno == EBUSY ? Replaced::Busy : Replaced::Failed;
}

void removeFile(const std::string& path) {
  unlink(path.c_str());
}

std::int64_t filePosition(std::FILE* fp) {
  struct stat st {};
  if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<std::int64_t>(ftello(fp));
}

bool truncateFile(std::FILE* fp, std::int64_t size) {
  return ftruncate(fileno(fp), static_cast<off_t>(size)) == 0 && fseeko(fp, static_cast<off_t>(size), SEEK_SET) == 0;
}

std::size_t memoryLimit() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page = sysconf(_SC_PAGE_SIZE);
  std::size_t limit = SIZE_MAX;
  if (pages > 0 && page > 0) limit = static_cast<std::size_t>(pages) * static_cast<std::size_t>(page);
  rlimit rl{};
  if (getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) {
    std::ifstream statm("/proc/self/statm");
    unsigned long long mapped = 0;  // pages
    statm >> mapped;
    const std::size_t used = page > 0 ? mapped * static_cast<std::size_t>(page) : 0;
    const auto cap = static_cast<std::size_t>(rl.rlim_cur);
    limit = std::min(limit, cap > used ? cap - used : 0);
  }
  return std::min(limit, cgroupLimit());
}

bool isTerminal(std::FILE* fp) {
  return isatty(fileno(fp)) == 1;
}

bool sharedConsole() {
  struct stat so {
  }, se{};
  return fstat(STDOUT_FILENO, &so) == 0 && fstat(STDERR_FILENO, &se) == 0 && so.st_dev == se.st_dev &&
         so.st_ino == se.st_ino;
}

std::uint32_t processId() {
  return static_cast<std::uint32_t>(getpid());
}

std::size_t fileNameStart(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace plovanet::platform

#endif
