#include "run/platform.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string_view>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

namespace plovanet::platform {

namespace {

// Written before the flag is set, read only by the signal handler: plain static storage.
char tempPaths[kTempSlots][PATH_MAX + 1];
volatile std::sig_atomic_t tempSet[kTempSlots];

extern "C" void onInterrupt(int sig) {
  for (int i = 0; i < kTempSlots; ++i) {
    if (tempSet[i] != 0) unlink(tempPaths[i]);
  }
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

void ignoreBrokenPipe() {
  std::signal(SIGPIPE, SIG_IGN);
}

void installInterruptCleanup() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal ignored on purpose (nohup, a background job) stays ignored.
    if (std::signal(sig, onInterrupt) == SIG_IGN) std::signal(sig, SIG_IGN);
  }
}

void watchTemp(int slot, const char* path) {
  if (slot < 0 || slot >= kTempSlots) return;
  tempSet[slot] = 0;
  if (path == nullptr || std::strlen(path) > PATH_MAX) return;
  std::strcpy(tempPaths[slot], path);
  tempSet[slot] = 1;
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
  return realpath(path.c_str(), buf) != nullptr ? std::string(buf) : path;
}

bool writable(const std::string& path) {
  return access(path.c_str(), W_OK) == 0;
}

std::FILE* createTempBeside(const std::string& target, std::string& tempPath) {
  const auto slash = target.find_last_of('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string name = folderOf(target) + "/." + base + ".XXXXXX";
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

bool replaceFile(const std::string& temp, const std::string& target) {
  return std::rename(temp.c_str(), target.c_str()) == 0;
}

void removeFile(const std::string& path) {
  unlink(path.c_str());
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

}  // namespace plovanet::platform
