// The Windows half of the platform layer.
#ifdef _WIN32

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "run/platform.h"
#include "run/platform_internal.h"

// File names stay narrow strings, as the C library's fopen takes them (in the ANSI code page);
// the ...A calls below read them the same way, so both always agree on which file is meant.
namespace plovanet::platform {

namespace {

// Ctrl+C and Ctrl+Break run this on a thread of their own while the main thread may still be
// writing. The temporary file is opened with delete sharing, so it can be removed even so.
extern "C" void onInterrupt(int sig) {
  if (deferInterrupt(sig)) {
    std::signal(sig, onInterrupt);  // the C library reset it to the default before calling
    return;
  }
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

// The handle under a C stream, which the C library gives as an integer.
HANDLE handleOf(std::FILE* fp) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(fp)));  // NOLINT(performance-no-int-to-ptr)
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
  std::string full(buf, n);
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

// The file name of target, cut to leave room in 255 characters for ".", the name, "." and up to
// 10 characters.
std::string tempBase(const std::string& target) {
  const auto cut = target.find_last_of("/\\:");
  return (cut == std::string::npos ? target : target.substr(cut + 1)).substr(0, 243);
}

// A new file named stem and a tag; in its folder it takes the folder's inherited permissions, as
// writing the target would.
std::FILE* createTempIn(const std::string& stem, std::string& tempPath, int slot) {
  for (unsigned n = 0; n < 100; ++n) {
    char tag[32];
    std::snprintf(tag, sizeof tag, ".%lx%02x", static_cast<unsigned long>(GetCurrentProcessId()), n);
    const std::string name = stem + tag;
    // Watched before it exists (publishTemp), so that Ctrl+C cannot fall between making it and
    // watching it.
    if (!publishTemp(slot, name.c_str())) return nullptr;
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD err = GetLastError();
      publishTemp(slot, nullptr);
      if (err == ERROR_FILE_EXISTS) continue;
      return nullptr;
    }
    const int fd =
        interrupted() ? -1 : _open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_WRONLY | _O_TEXT);
    std::FILE* fp = fd >= 0 ? _fdopen(fd, "w") : nullptr;
    if (fp == nullptr) {
      if (fd >= 0) {
        _close(fd);
      } else {
        CloseHandle(h);
      }
      DeleteFileA(name.c_str());
      publishTemp(slot, nullptr);
      return nullptr;
    }
    tempPath = name;
    return fp;
  }
  return nullptr;
}

}  // namespace

std::FILE* createTempBeside(const std::string& target, std::string& tempPath, int slot) {
  const auto cut = target.find_last_of("/\\:");
  return createTempIn((cut == std::string::npos ? "" : target.substr(0, cut + 1)) + "." + tempBase(target),
                      tempPath, slot);
}

std::FILE* createTempElsewhere(const std::string& target, std::string& tempPath, std::string& tempFolder,
                               int slot) {
  char buf[MAX_PATH + 2];
  const DWORD n = GetTempPathA(sizeof buf, buf);
  if (n == 0 || n >= sizeof buf) return nullptr;
  tempFolder.assign(buf, n);
  return createTempIn(tempFolder + "." + tempBase(target), tempPath, slot);
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

bool copyOver(const std::string& from, const std::string& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) return false;
  std::FILE* out = std::fopen(to.c_str(), "r+b");  // not truncated: the old bytes stay
  bool ok = out != nullptr && _fseeki64(in, 0, SEEK_END) == 0;
  const std::int64_t size = ok ? _ftelli64(in) : -1;
  ok = ok && size >= 0 && _fseeki64(in, 0, SEEK_SET) == 0;
  // A full disk shows here, before a byte of the old content is lost.
  FILE_ALLOCATION_INFO room{};
  room.AllocationSize.QuadPart = size;
  if (ok && !SetFileInformationByHandle(handleOf(out), FileAllocationInfo, &room, sizeof room)) ok = false;
  if (ok && holdInterrupts()) {
    std::vector<char> buf(std::size_t{1} << 20);
    for (std::size_t n; ok && (n = std::fread(buf.data(), 1, buf.size(), in)) > 0;)
      ok = std::fwrite(buf.data(), 1, n, out) == n;
    ok = ok && std::ferror(in) == 0 && std::fflush(out) == 0 && _chsize_s(_fileno(out), size) == 0;
    releaseInterrupts();
  } else {
    ok = false;
  }
  if (out != nullptr && std::fclose(out) != 0) ok = false;
  std::fclose(in);
  return ok;
}

std::int64_t filePosition(std::FILE* fp) {
  return GetFileType(handleOf(fp)) == FILE_TYPE_DISK ? _ftelli64(fp) : -1;
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
  const HANDLE h = handleOf(fp);
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
  const HANDLE out = handleOf(stdout);
  const HANDLE err = handleOf(stderr);
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

#endif  // _WIN32
