#include "output/writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace plovanet {

Writer makeWriter(std::FILE* fp, std::size_t capacity) {
  Writer w;
  w.fp = fp;
  w.cap = capacity < 1024 ? 1024 : capacity;  // room for the longest single item (about 330 bytes)
  w.buf = std::make_unique<char[]>(w.cap);
  return w;
}

void flush(Writer& w) {
  if (w.len == 0) return;
  if (!w.failed && (w.fp == nullptr || std::fwrite(w.buf.get(), 1, w.len, w.fp) != w.len)) w.failed = true;
  w.len = 0;
}

void put(Writer& w, std::string_view s) {
  while (!s.empty()) {
    if (w.len == w.cap) flush(w);
    const std::size_t n = std::min(s.size(), w.cap - w.len);
    std::memcpy(w.buf.get() + w.len, s.data(), n);
    w.len += n;
    s.remove_prefix(n);
  }
}

void putPadded(Writer& w, long long v, int width, char fill) {
  char tmp[24];
  const auto n = static_cast<std::size_t>(std::to_chars(tmp, tmp + sizeof tmp, v).ptr - tmp);
  const auto wid = static_cast<std::size_t>(width);
  char* p = reserve(w, n + wid);
  const std::size_t pad = n < wid ? wid - n : 0;
  std::memset(p, fill, pad);
  std::memcpy(p + pad, tmp, n);
  w.len += pad + n;
}

void putFormatted(Writer& w, const char* fmt, int a, int b) {
  char tmp[160];
  const int n = std::snprintf(tmp, sizeof tmp, fmt, a, b);
  put(w, std::string_view(tmp, std::min(static_cast<std::size_t>(n), sizeof tmp - 1)));
}

void putFixed(Writer& w, double v, int width) {
  // Fixed notation of a large double runs to over 300 digits; to_chars with a precision rounds
  // exactly as printf does.
  char tmp[400];
  std::size_t n;
  if (std::isnan(v)) {
    const char* s = std::signbit(v) ? "-nan" : "nan";  // printf's spelling, sign included
    n = std::strlen(s);
    std::memcpy(tmp, s, n);
  } else {
    n = static_cast<std::size_t>(std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::fixed, 4).ptr -
                                 tmp);
  }
  const auto wid = static_cast<std::size_t>(width);
  char* p = reserve(w, n + wid);
  const std::size_t pad = n < wid ? wid - n : 0;
  std::memset(p, ' ', pad);
  std::memcpy(p + pad, tmp, n);
  w.len += pad + n;
}

bool closeWriter(Writer& w) {
  flush(w);
  bool ok = !w.failed;
  if (w.fp != nullptr) {
    if (std::fflush(w.fp) != 0 || std::ferror(w.fp) != 0) ok = false;
    if (std::fclose(w.fp) != 0) ok = false;
    w.fp = nullptr;
  }
  return ok;
}

}  // namespace plovanet
