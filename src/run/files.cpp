#include "run/files.h"

#include <filesystem>

#include "run/platform.h"

namespace plovanet {

namespace {

// The same file, existing already (device and inode: links, any spelling) or not yet.
bool sameTarget(const std::string& a, const std::string& b) {
  if (platform::sameFile(a, b)) return true;
  std::error_code ea, eb;
  const auto pa = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ea), ea);
  const auto pb = std::filesystem::weakly_canonical(std::filesystem::absolute(b, eb), eb);
  return !ea && !eb && pa == pb;
}

std::optional<Fault> open(OutputFile& of, const std::string& name, const std::vector<std::string>& others,
                          int slot, std::FILE*& fp) {
  of = OutputFile{name, name, {}, slot};
  fp = nullptr;
  if (name.empty()) return Fault{Failure::EmptyOutName, {}};
  for (const std::string& other : others) {
    if (!other.empty() && sameTarget(name, other)) return Fault{Failure::SameFile, {name, {}, {}}};
  }
  const Fault cannotOpen{Failure::OpenOutput, {name, {}, {}}};
  of.target = platform::resolvedTarget(name);
  const platform::FileKind kind = platform::fileKind(of.target);
  if (kind == platform::FileKind::Directory) return cannotOpen;
  if (kind == platform::FileKind::Regular && !platform::writable(of.target)) return cannotOpen;
  if (kind == platform::FileKind::Regular || kind == platform::FileKind::Missing) {
    fp = platform::createTempBeside(of.target, of.temp);
    if (fp != nullptr) {
      platform::watchTemp(slot, of.temp.c_str());
      return std::nullopt;
    }
    of.temp.clear();  // a folder we may not create files in: write the file itself, as before
  }
  fp = std::fopen(name.c_str(), "w");
  if (fp == nullptr) return cannotOpen;
  return std::nullopt;
}

}  // namespace

std::optional<Fault> openOutput(OutputFile& of, const std::string& name,
                                const std::vector<std::string>& others, int slot, std::FILE*& fp) {
  auto fault = open(of, name, others, slot, fp);
  if (fp != nullptr) std::setvbuf(fp, nullptr, _IONBF, 0);  // the writer buffers; write errors show at once
  return fault;
}

bool commitOutput(OutputFile& of) {
  if (of.temp.empty()) return true;
  const bool ok = platform::replaceFile(of.temp, of.target);
  if (!ok) platform::removeFile(of.temp);
  platform::watchTemp(of.slot, nullptr);
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

void abandonOutput(OutputFile& of) {
  if (of.temp.empty()) return;
  platform::removeFile(of.temp);
  platform::watchTemp(of.slot, nullptr);
  of.temp.clear();
}

}  // namespace plovanet
