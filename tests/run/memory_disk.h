// A disk in memory for the output files' tests (run/disk.h): folders, files and open descriptors
// in maps, streams (glibc's fopencookie) whose bytes land in memory, and the failures a real disk
// gives when told to: a full disk from the n-th write on, a rename refused or busy, no temporary
// file, a folder that goes away while a file in it is written. It has no links: the whole runs
// out_dangling_link and same_file_refused show those on a real disk.
#pragma once

#include <sys/types.h>  // ssize_t

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "run/disk.h"

namespace plovanet::test {

class MemoryDisk final : public Disk {
 public:
  // A file's bytes. Streams hold it, so a stream on a removed file writes on, as on an unlinked one.
  struct Node {
    std::string bytes;
    bool special = false;       // a device: written where it is, never replaced
    bool readOnly = false;      // not writable by this process
    bool foreignOwner = false;  // its owner and group cannot be given to a new file
  };

  std::map<std::string, bool> folders{{"/w", true}, {"/tmp", true}};  // true: takes new files
  std::map<std::string, std::shared_ptr<Node>> files;
  std::map<std::string, int> descriptorNames;        // "/dev/stdout" -> 1
  std::map<int, std::shared_ptr<Node>> descriptors;  // open for writing
  std::map<int, std::string> watched;                // interrupt-cleanup slots
  bool tempBesideFails = false;                      // whatever the folder
  int renameErrno = 0;                               // the rename fails so (EBUSY: busy)
  int failFromWrite = 0;  // this write (from 1, over all streams) and every later one fail: ENOSPC
  int writes = 0;         // write calls so far

  std::shared_ptr<Node> put(const std::string& path, std::string bytes) {
    return files[path] = std::make_shared<Node>(Node{.bytes = std::move(bytes)});
  }
  // The folder and every file in it.
  void removeFolder(const std::string& folder) {
    folders.erase(folder);
    std::erase_if(files, [&](const auto& f) { return f.first.starts_with(folder + "/"); });
  }
  // Every file's bytes, by name.
  std::map<std::string, std::string> contents() const {
    std::map<std::string, std::string> all;
    for (const auto& [path, node] : files) all[path] = node->bytes;
    return all;
  }

  platform::FileKind fileKind(const std::string& path) override {
    if (folders.contains(path)) return platform::FileKind::Directory;
    const auto f = files.find(path);
    if (f == files.end()) return platform::FileKind::Missing;
    return f->second->special ? platform::FileKind::Special : platform::FileKind::Regular;
  }
  bool sameFile(const std::string& a, const std::string& b) override { return a == b; }
  std::string resolvedTarget(const std::string& path) override { return path; }
  int descriptorOf(const std::string& name) override {
    return descriptorNames.contains(name) ? descriptorNames[name] : -1;
  }
  std::FILE* openDescriptor(int fd) override {
    return descriptors.contains(fd) ? stream(descriptors[fd], "w", true) : nullptr;
  }
  bool writable(const std::string& path) override { return files.contains(path) && !files[path]->readOnly; }
  std::FILE* createTempBeside(const std::string& target, std::string& tempPath, int slot) override {
    return tempBesideFails ? nullptr
                           : watchedTemp(slot, createTempIn(folderOf(target), target, tempPath), tempPath);
  }
  std::FILE* createTempElsewhere(const std::string& target, std::string& tempPath, std::string& tempFolder,
                                 int slot) override {
    tempFolder = "/tmp";
    return watchedTemp(slot, createTempIn(tempFolder, target, tempPath), tempPath);
  }
  bool keepAttributes(std::FILE*, const std::string& target) override {
    return !files.contains(target) || !files[target]->foreignOwner;
  }
  platform::Replaced replaceFile(const std::string& temp, const std::string& target) override {
    if (renameErrno != 0 || !files.contains(temp) || !folders.contains(folderOf(target)) ||
        folders.contains(target)) {
      errno = renameErrno != 0 ? renameErrno : ENOENT;
      return errno == EBUSY ? platform::Replaced::Busy : platform::Replaced::Failed;
    }
    files[target] = files[temp];
    files.erase(temp);
    return platform::Replaced::Done;
  }
  void removeFile(const std::string& path) override { files.erase(path); }
  // Room is reserved (one write) before the target's bytes change, as the real one does.
  bool copyOver(const std::string& from, const std::string& to) override {
    if (!files.contains(from) || !files.contains(to) || files[to]->readOnly) return false;
    if (failFromWrite != 0 && ++writes >= failFromWrite) return false;
    files[to]->bytes = files[from]->bytes;
    return true;
  }
  std::FILE* openFile(const std::string& path, const char* mode) override {
    const auto f = files.find(path);
    if (mode[0] == 'r') return f == files.end() ? nullptr : stream(f->second, mode, false);
    if (f != files.end()) {
      if (f->second->readOnly) return nullptr;
      if (!f->second->special) f->second->bytes.clear();
      return stream(f->second, mode, false);
    }
    return takesNew(folderOf(path)) ? stream(put(path, ""), mode, false) : nullptr;
  }
  void watchTemp(int slot, const char* path) override {
    watched.erase(slot);
    if (path != nullptr) watched[slot] = path;
  }

 private:
  struct Cookie {
    MemoryDisk* disk;
    std::shared_ptr<Node> node;
    std::size_t at = 0;
    bool append = false;
  };

  bool takesNew(const std::string& folder) const {
    const auto f = folders.find(folder);
    return f != folders.end() && f->second;
  }
  static std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
  }
  std::FILE* watchedTemp(int slot, std::FILE* fp, const std::string& tempPath) {
    if (fp != nullptr) watchTemp(slot, tempPath.c_str());
    return fp;
  }
  std::FILE* createTempIn(const std::string& folder, const std::string& target, std::string& tempPath) {
    if (!takesNew(folder)) return nullptr;
    tempPath =
        folder + "/." + target.substr(target.find_last_of('/') + 1) + ".tmp" + std::to_string(++temps_);
    return stream(put(tempPath, ""), "w", false);
  }
  std::FILE* stream(std::shared_ptr<Node> node, const char* mode, bool append) {
    cookie_io_functions_t io{};
    io.read = [](void* c, char* buf, std::size_t n) -> ssize_t {
      auto& k = *static_cast<Cookie*>(c);
      const std::string& b = k.node->bytes;
      const std::size_t got = k.at < b.size() ? b.copy(buf, n, k.at) : 0;
      k.at += got;
      return static_cast<ssize_t>(got);
    };
    io.write = [](void* c, const char* buf, std::size_t n) -> ssize_t {
      auto& k = *static_cast<Cookie*>(c);
      if (++k.disk->writes >= k.disk->failFromWrite && k.disk->failFromWrite > 0) {
        errno = ENOSPC;
        return 0;  // glibc marks the stream failed
      }
      std::string& b = k.node->bytes;
      if (k.append) k.at = b.size();
      b.resize(std::max(b.size(), k.at + n));
      b.replace(k.at, n, buf, n);
      k.at += n;
      return static_cast<ssize_t>(n);
    };
    io.close = [](void* c) {
      delete static_cast<Cookie*>(c);
      return 0;
    };
    auto* cookie = new Cookie{this, std::move(node), 0, append};
    std::FILE* fp = fopencookie(cookie, mode, io);
    if (fp == nullptr) delete cookie;
    return fp;
  }

  int temps_ = 0;
};

}  // namespace plovanet::test
