// Buffered writer for the output file. Everything goes through one large buffer and leaves in
// big fwrite calls; numbers are formatted here with the exact bytes printf would give for the
// few formats the file uses. A failed write is remembered, not reported: run control decides.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

namespace plovanet {

struct Writer {
  std::FILE* fp = nullptr;
  std::unique_ptr<char[]> buf;
  std::size_t cap = 0, len = 0;
  bool failed = false;
};

Writer makeWriter(std::FILE* fp, std::size_t capacity = std::size_t{1} << 20);

void flush(Writer& w);
// Room for at least n more bytes at buf + len.
inline char* reserve(Writer& w, std::size_t n) {
  if (w.cap - w.len < n) flush(w);
  return w.buf.get() + w.len;
}
void put(Writer& w, std::string_view s);
void putInt(Writer& w, long long v);            // "%d"
void putZeroPadded4(Writer& w, long long v);    // "%4.4d" for v >= 0
void putRightInt4(Writer& w, long long v);      // "%4d"
void putFixed(Writer& w, double v, int width);  // "%<width>.4lf"

// Flushes and closes; false if any write or the close failed.
bool closeWriter(Writer& w);

}  // namespace plovanet
