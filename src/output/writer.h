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
// v right-aligned in width characters, filled with fill: "%4.4d" (v >= 0) is width 4 with '0',
// "%4d" width 4 with ' '. Longer numbers are written in full.
void putPadded(Writer& w, long long v, int width, char fill);
// One printf-style line of up to two int arguments (headers and trailers).
void putFormatted(Writer& w, const char* fmt, int a, int b = 0);
void putFixed(Writer& w, double v, int width);  // "%<width>.4lf"
// The same into raw memory with room for kMaxFixed + width bytes; returns the end.
inline constexpr std::size_t kMaxFixed = 330;
char* formatFixed(char* out, double v, int width);

// Flushes and closes; false if any write or the close failed.
bool closeWriter(Writer& w);

}  // namespace plovanet
