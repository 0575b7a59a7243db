// The real disk: the platform layer and the C library, as run/files.cpp called them directly.
#include "run/disk.h"

#include <filesystem>
#include <system_error>

namespace plovanet {

namespace {

class RealDisk final : public Disk {
 public:
  platform::FileKind fileKind(const std::string& path) override { return platform::fileKind(path); }
  bool sameFile(const std::string& a, const std::string& b) override {
    if (platform::sameFile(a, b)) return true;
    // A file not there yet: the same name once made absolute, with links and dots resolved; a
    // link to a file not there yet counts as that file, which writing through it would create.
    std::error_code ea, eb;
    const auto pa =
        std::filesystem::weakly_canonical(std::filesystem::absolute(platform::resolvedTarget(a), ea), ea);
    const auto pb =
        std::filesystem::weakly_canonical(std::filesystem::absolute(platform::resolvedTarget(b), eb), eb);
    return !ea && !eb && pa == pb;
  }
  std::string resolvedTarget(const std::string& path) override { return platform::resolvedTarget(path); }
  int descriptorOf(const std::string& name) override { return platform::descriptorOf(name); }
  std::FILE* openDescriptor(int fd) override { return platform::openDescriptor(fd); }
  bool writable(const std::string& path) override { return platform::writable(path); }
  std::FILE* createTempBeside(const std::string& target, std::string& tempPath, int slot) override {
    return platform::createTempBeside(target, tempPath, slot);
  }
  std::FILE* createTempElsewhere(const std::string& target, std::string& tempPath, std::string& tempFolder,
                                 int slot) override {
    return platform::createTempElsewhere(target, tempPath, tempFolder, slot);
  }
  bool keepAttributes(std::FILE* temp, const std::string& target) override {
    return platform::keepAttributes(temp, target);
  }
  platform::Replaced replaceFile(const std::string& temp, const std::string& target) override {
    return platform::replaceFile(temp, target);
  }
  void removeFile(const std::string& path) override { platform::removeFile(path); }
  bool copyOver(const std::string& from, const std::string& to) override {
    return platform::copyOver(from, to);
  }
  std::FILE* openFile(const std::string& path, const char* mode) override {
    return std::fopen(path.c_str(), mode);
  }
  void watchTemp(int slot, const char* path) override { platform::watchTemp(slot, path); }
};

}  // namespace

Disk& realDisk() {
  static RealDisk disk;
  return disk;
}

}  // namespace plovanet
