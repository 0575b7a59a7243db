// The POSIX half of the platform layer (Linux, macOS, the BSDs).
#ifndef _WIN32

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include "run/platform.h"
#include "run/platform_internal.h"

namespace plovanet::platform {

namespace {

extern "C" void onInterrupt(int sig) {
  // A handler leaves errno as it found it: the code it interrupted may be about to read it, and
  // raise returns when the signal is held (a sanitizer's runtime holds it until the handler ends).
  const int saved = errno;
  if (!deferInterrupt(sig)) {
    removeWatched([](const char* path) { unlink(path); });
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }
  errno = saved;
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
  // It comes at the soft limit; at the hard one SIGKILL does, which nothing can clean up after,
  // so a soft limit as high as the hard one (ulimit -t sets both) is lowered by a second.
  rlimit cpu{};
  if (getrlimit(RLIMIT_CPU, &cpu) == 0 && cpu.rlim_max != RLIM_INFINITY && cpu.rlim_cur >= cpu.rlim_max &&
      cpu.rlim_max > 1) {
    cpu.rlim_cur = cpu.rlim_max - 1;
    setrlimit(RLIMIT_CPU, &cpu);
  }
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
    if (to.front() == '/') {
      at = to;
    } else {
      at = folderOf(at).append("/").append(to);
    }
  }
  return at;
}

int descriptorOf(const std::string& spelled) {
  // Every spelling of one of these names counts ("//dev/stdout", "/dev/./stdout"): a repeated
  // slash and a "." part are dropped before comparing.
  std::string name;
  for (std::size_t at = 0; at < spelled.size();) {
    const std::size_t end = std::min(spelled.find('/', at), spelled.size());
    const std::string_view part = std::string_view(spelled).substr(at, end - at);
    if (!part.empty() && part != ".") name.append("/").append(part);
    at = end + 1;
  }
  if (spelled.empty() || spelled.front() != '/' || spelled.back() == '/') return -1;
  if (name == "/dev/stdout") return 1;
  if (name == "/dev/stderr") return 2;
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/"}) {
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

// Six characters for a temporary file's name, different on every call and in every process.
std::string randomTag() {
  static std::uint64_t state =
      (std::uint64_t{processId()} << 32) ^ static_cast<std::uint64_t>(std::time(nullptr));
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);  // splitmix64
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  std::string tag(6, 'A');
  for (char& c : tag) {
    c = kChars[z % (sizeof kChars - 1)];
    z /= sizeof kChars - 1;
  }
  return tag;
}

std::FILE* createTempIn(const std::string& folder, const std::string& target, std::string& tempPath,
                        int slot) {
  const auto slash = target.find_last_of('/');
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  // "." + base + ".XXXXXX" must fit the folder's longest file name.
  const long room = pathconf(folder.c_str(), _PC_NAME_MAX);
  const std::size_t most = room > 8 ? static_cast<std::size_t>(room) - 8 : 247;
  if (base.size() > most) base.resize(most);
  for (int tries = 0; tries < 100; ++tries) {
    std::string name = folder;
    name.append("/.").append(base).append(".").append(randomTag());
    // Watched before it exists (publishTemp), so that an interrupt cannot fall between making
    // it and watching it.
    if (!publishTemp(slot, name.c_str())) return nullptr;
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      const int err = errno;
      publishTemp(slot, nullptr);
      if (err == EEXIST) continue;
      return nullptr;
    }
    std::FILE* fp = interrupted() ? nullptr : fdopen(fd, "w");
    if (fp == nullptr) {
      close(fd);
      unlink(name.c_str());
      publishTemp(slot, nullptr);
      return nullptr;
    }
    struct stat st {};
    fchmod(fd, stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : newFileMode());
    tempPath = name;
    return fp;
  }
  return nullptr;
}

}  // namespace

std::FILE* createTempBeside(const std::string& target, std::string& tempPath, int slot) {
  return createTempIn(folderOf(target), target, tempPath, slot);
}

std::FILE* createTempElsewhere(const std::string& target, std::string& tempPath, std::string& tempFolder,
                               int slot) {
  const char* dir = std::getenv("TMPDIR");
  tempFolder = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  return createTempIn(tempFolder, target, tempPath, slot);
}

bool keepAttributes(std::FILE* temp, const std::string& target) {
  struct stat st {
  }, mine{};
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

namespace {

bool writeAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// Copies size bytes from the start of descriptor fd[0] over those of fd[1], and cuts fd[1] there.
bool copyBytes(const int (&fd)[2], off_t size) {
  std::vector<char> buf(std::size_t{1} << 20);
  for (off_t done = 0; done < size;) {
    const ssize_t n = read(fd[0], buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (!writeAll(fd[1], buf.data(), static_cast<std::size_t>(n))) return false;
    done += n;
  }
  return ftruncate(fd[1], size) == 0;
}

}  // namespace

bool copyOver(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = open(to.c_str(), O_WRONLY | O_CLOEXEC);  // not truncated: the old bytes stay
  struct stat src {
  }, old{};
  bool ok = out >= 0 && fstat(in, &src) == 0 && fstat(out, &old) == 0;
  // A full disk or a file-size limit shows here, before a byte of the old content is lost.
  if (ok && src.st_size > 0 && posix_fallocate(out, 0, src.st_size) != 0) {
    ok = false;
    // The reservation may have lengthened the file before it failed.
    if (ftruncate(out, old.st_size) != 0) ok = false;
  }
  if (ok && holdInterrupts()) {
    ok = copyBytes({in, out}, src.st_size);
    releaseInterrupts();
  } else {
    ok = false;
  }
  if (out >= 0 && close(out) != 0) ok = false;
  close(in);
  return ok;
}

std::int64_t filePosition(std::FILE* fp) {
  struct stat st {};
  if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<std::int64_t>(ftello(fp));
}

bool truncateFile(std::FILE* fp, std::int64_t size) {
  return ftruncate(fileno(fp), static_cast<off_t>(size)) == 0 &&
         fseeko(fp, static_cast<off_t>(size), SEEK_SET) == 0;
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

#endif  // !_WIN32
