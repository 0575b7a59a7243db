#include "run/files.h"

#include <utility>

#include "run/platform.h"

namespace plovanet {

namespace {

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
    fp = disk.createTempBeside(of.target, of.temp);
    if (fp != nullptr) {
      of.copyIn = !disk.keepAttributes(fp, of.target);
    } else if (kind == platform::FileKind::Regular) {
      // A writable file in a folder that takes no new files: written elsewhere, so that the
      // file keeps its content until the new one is complete.
      fp = disk.createTempElsewhere(of.target, of.temp, of.tempFolder);
      if (fp == nullptr) return Fault::noTempFile(name);
      of.copyIn = true;
    }
    if (fp != nullptr) {
      disk.watchTemp(slot, of.temp.c_str());
      return std::nullopt;
    }
    of.temp.clear();  // a new file and no temporary one: nothing earlier to lose by writing it
  }
  fp = disk.openFile(name, "w");
  if (fp == nullptr) return cannotOpen;
  return std::nullopt;
}

// Writes the finished temporary file's bytes over target's, which keeps target's owner, group,
// permissions and links.
bool copyInto(Disk& disk, const std::string& temp, const std::string& target) {
  std::FILE* from = disk.openFile(temp, "rb");
  if (from == nullptr) return false;
  std::FILE* to = disk.openFile(target, "wb");
  bool ok = to != nullptr;
  std::vector<char> buf(std::size_t{1} << 20);
  while (ok) {
    const std::size_t n = std::fread(buf.data(), 1, buf.size(), from);
    if (n == 0) break;
    ok = std::fwrite(buf.data(), 1, n, to) == n;
  }
  ok = ok && std::ferror(from) == 0;
  std::fclose(from);
  if (to != nullptr && std::fclose(to) != 0) ok = false;
  return ok;
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
    ok = copyInto(disk, of.temp, of.target);
    disk.removeFile(of.temp);
  } else {
    // A file mounted on its own (docker run -v file:file) cannot be renamed over: the finished
    // content is copied into it instead of thrown away.
    const platform::Replaced r = disk.replaceFile(of.temp, of.target);
    ok = r == platform::Replaced::Done ||
         (r == platform::Replaced::Busy && copyInto(disk, of.temp, of.target));
    if (r != platform::Replaced::Done) disk.removeFile(of.temp);
  }
  disk.watchTemp(of.slot, nullptr);
  of.temp.clear();
  return ok;
}

std::string replicateName(const std::string& name, std::int64_t rep) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "_%04lld", static_cast<long long>(rep));
  const auto dot = name.find_last_of('.');
  // A dot in a folder name, or one that starts the file name (".hidden"), marks no extension.
  const bool ext = dot != std::string::npos && dot > platform::fileNameStart(name);
  return ext ? name.substr(0, dot) + digits + name.substr(dot) : name + digits;
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
