// The file system as the output files see it: what a name is, the temporary file that replaces
// it, the rename, the copy. The program uses the real disk (the platform layer and the C
// library); tests use one in memory that fails where told, so the replace, commit and abandon
// logic of run/files.cpp can be driven through every failure without a real disk.
#pragma once

#include <cstdio>
#include <string>

#include "run/platform.h"

namespace plovanet {

// Each operation is the platform layer's of the same name (run/platform.h), except where said.
class Disk {
 public:
  virtual ~Disk() = default;

  virtual platform::FileKind fileKind(const std::string& path) = 0;
  // True when both names lead to one file: one existing already (any spelling, links included),
  // or one both would create.
  virtual bool sameFile(const std::string& a, const std::string& b) = 0;
  virtual std::string resolvedTarget(const std::string& path) = 0;
  virtual int descriptorOf(const std::string& name) = 0;
  virtual std::FILE* openDescriptor(int fd) = 0;
  virtual bool writable(const std::string& path) = 0;
  // Made and watched by the interrupt's clean-up (slot) in one step.
  virtual std::FILE* createTempBeside(const std::string& target, std::string& tempPath, int slot) = 0;
  virtual std::FILE* createTempElsewhere(const std::string& target, std::string& tempPath,
                                         std::string& tempFolder, int slot) = 0;
  virtual bool keepAttributes(std::FILE* temp, const std::string& target) = 0;
  virtual platform::Replaced replaceFile(const std::string& temp, const std::string& target) = 0;
  virtual void removeFile(const std::string& path) = 0;
  virtual bool copyOver(const std::string& from, const std::string& to) = 0;
  // std::fopen.
  virtual std::FILE* openFile(const std::string& path, const char* mode) = 0;
  // The temporary file an interrupt removes (platform::watchTemp).
  virtual void watchTemp(int slot, const char* path) = 0;
};

// The one the program runs on.
Disk& realDisk();

}  // namespace plovanet
