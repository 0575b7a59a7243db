#include "run/files.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "run/platform.h"

namespace plovanet {

namespace {

// A new file's folder that does not exist, the usual reason it cannot be made: a mistyped folder,
// or one not made yet.
std::optional<Fault> missingFolder(Disk& disk, const std::string& name) {
  std::string folder = name.substr(0, platform::fileNameStart(name));
  while (folder.size() > 1 && platform::fileNameStart(folder) == folder.size()) folder.pop_back();
  if (folder.empty() || disk.fileKind(folder) != platform::FileKind::Missing) return std::nullopt;
  return Fault::noOutputFolder(name, folder);
}

std::optional<Fault> open(OutputFile& of, const std::string& name, const std::vector<std::string>& others,
                          int slot, std::FILE*& fp) {
  abandonOutput(of);
  Disk& disk = *of.disk;
  of.name = of.target = name;
  of.slot = slot;
  of.copyIn = false;
  of.tempFolder.clear();
  fp = nullptr;
  if (name.empty()) return Fault::emptyOutName();
  for (const std::string& other : others) {
    if (!other.empty() && disk.sameFile(name, other)) return Fault::sameFile(name);
  }
  const Fault cannotOpen = Fault::openOutput(name);
  // Opening /dev/stdout anew would truncate a log it is appended to, and renaming over it would
  // replace the log: the descriptor itself is written.
  if (const int fd = disk.descriptorOf(name); fd >= 0) {
    fp = disk.openDescriptor(fd);
    if (fp == nullptr) return cannotOpen;
    return std::nullopt;
  }
  of.target = disk.resolvedTarget(name);
  const platform::FileKind kind = disk.fileKind(of.target);
  if (kind == platform::FileKind::Directory) return cannotOpen;
  if (kind == platform::FileKind::Regular && !disk.writable(of.target)) return cannotOpen;
  if (kind == platform::FileKind::Regular || kind == platform::FileKind::Missing) {
    fp = disk.createTempBeside(of.target, of.temp, slot);
    if (fp != nullptr) {
      of.copyIn = !disk.keepAttributes(fp, of.target);
    } else if (kind == platform::FileKind::Regular) {
      // A writable file in a folder that takes no new files: written elsewhere, so that the
      // file keeps its content until the new one is complete.
      fp = disk.createTempElsewhere(of.target, of.temp, of.tempFolder, slot);
      if (fp == nullptr) return Fault::noTempFile(name);
      of.copyIn = true;
    }
    if (fp != nullptr) return std::nullopt;
    of.temp.clear();  // a new file and no temporary one: nothing earlier to lose by writing it
  }
  fp = disk.openFile(name, "w");
  if (fp != nullptr) return std::nullopt;
  if (kind == platform::FileKind::Missing) {
    if (auto f = missingFolder(disk, name)) return f;
  }
  return cannotOpen;
}

}  // namespace

OutputFile::OutputFile(OutputFile&& o) noexcept
    : name(std::move(o.name)),
      target(std::move(o.target)),
      temp(std::exchange(o.temp, {})),
      slot(o.slot),
      copyIn(o.copyIn),
      tempFolder(std::move(o.tempFolder)),
      disk(o.disk) {}

OutputFile& OutputFile::operator=(OutputFile&& o) noexcept {
  if (this != &o) {
    abandonOutput(*this);
    name = std::move(o.name);
    target = std::move(o.target);
    temp = std::exchange(o.temp, {});
    slot = o.slot;
    copyIn = o.copyIn;
    tempFolder = std::move(o.tempFolder);
    disk = o.disk;
  }
  return *this;
}

OutputFile::~OutputFile() {
  abandonOutput(*this);
}

std::optional<Fault> openOutput(OutputFile& of, const std::string& name,
                                const std::vector<std::string>& others, int slot, std::FILE*& fp) {
  auto fault = open(of, name, others, slot, fp);
  if (fp != nullptr) std::setvbuf(fp, nullptr, _IONBF, 0);  // the writer buffers; write errors show at once
  return fault;
}

bool commitOutput(OutputFile& of) {
  if (of.temp.empty()) return true;
  Disk& disk = *of.disk;
  bool ok = false;
  if (of.copyIn) {
    ok = disk.copyOver(of.temp, of.target);
    disk.removeFile(of.temp);
  } else {
    // A file mounted on its own (docker run -v file:file) cannot be renamed over: the finished
    // content is copied into it instead of thrown away.
    const platform::Replaced r = disk.replaceFile(of.temp, of.target);
    ok =
        r == platform::Replaced::Done || (r == platform::Replaced::Busy && disk.copyOver(of.temp, of.target));
    if (r != platform::Replaced::Done) disk.removeFile(of.temp);
  }
  disk.watchTemp(of.slot, nullptr);
  of.temp.clear();
  return ok;
}

namespace {

// Where a replicate's number goes in name: before the extension of its file name, or at its end
// when that has no dot.
std::size_t numberPlace(const std::string& name) {
  const auto dot = name.find_last_of('.');
  // A dot in a folder name, or one that starts the file name (".hidden"), marks no extension.
  return dot != std::string::npos && dot > platform::fileNameStart(name) ? dot : name.size();
}

// The replicate whose file name (without folder) is file, written as replicateName writes it; -1
// for any other name.
std::int64_t replicateOf(const std::string& name, const std::string& file) {
  const std::size_t from = platform::fileNameStart(name), at = numberPlace(name);
  const std::string head = name.substr(from, at - from) + "_", tail = name.substr(at);
  if (file.size() < head.size() + tail.size() + 4 || file.size() > head.size() + tail.size() + 10 ||
      file.compare(0, head.size(), head) != 0 ||
      file.compare(file.size() - tail.size(), tail.size(), tail) != 0)
    return -1;
  const std::string digits = file.substr(head.size(), file.size() - head.size() - tail.size());
  if (digits.find_first_not_of("0123456789") != std::string::npos) return -1;
  const std::int64_t rep = std::stoll(digits);
  const std::string again = replicateName(name, rep);
  return again.compare(platform::fileNameStart(again), std::string::npos, file) == 0 ? rep : -1;
}

}  // namespace

std::string replicateName(const std::string& name, std::int64_t rep) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "_%04lld", static_cast<long long>(rep));
  const std::size_t at = numberPlace(name);
  return name.substr(0, at) + digits + name.substr(at);
}

std::string replicateClash(Disk& disk, const std::string& name, std::int64_t first, std::int64_t last,
                           const std::vector<std::string>& others) {
  const std::size_t start = platform::fileNameStart(name);
  std::vector<std::string> files;
  std::error_code ec;
  const std::filesystem::path folder =
      start == 0 ? std::filesystem::path(".") : std::filesystem::path(name.substr(0, start));
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    files.push_back(it->path().filename().string());
  // A file not there yet (TRUTH= of a new name, or a link to one) is found by its own name.
  for (const std::string& other : others) {
    if (other.empty()) continue;
    for (const std::string& path : {other, disk.resolvedTarget(other)})
      files.push_back(path.substr(platform::fileNameStart(path)));
  }
  for (const std::string& file : files) {
    const std::int64_t rep = replicateOf(name, file);
    if (rep < first || rep > last) continue;
    std::string mine = replicateName(name, rep);
    for (const std::string& other : others) {
      if (!other.empty() && disk.sameFile(mine, other)) return mine;
    }
  }
  return {};
}

void discardEarlier(const OutputFile& of) {
  if (of.temp.empty()) return;
  if (!of.copyIn) {
    of.disk->removeFile(of.target);
  } else if (of.disk->fileKind(of.target) == platform::FileKind::Regular) {
    if (std::FILE* fp = of.disk->openFile(of.target, "wb")) std::fclose(fp);
  }
}

void abandonOutput(OutputFile& of) {
  if (of.temp.empty()) return;
  of.disk->removeFile(of.temp);
  of.disk->watchTemp(of.slot, nullptr);
  of.temp.clear();
}

}  // namespace plovanet
