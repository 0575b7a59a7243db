#include "output/writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
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

namespace {

__extension__ typedef unsigned __int128 u128;  // exact products of a 53-bit mantissa and 10^4

// Rounds |v| * 10^4 to an integer exactly as printf does (to nearest, ties to even on the exact
// binary value). Only for |v| < 1e14, where the result fits 64 bits.
std::uint64_t scaledRound(double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased != 0) m |= std::uint64_t{1} << 52;
  const int shift = (biased != 0 ? 1075 - biased : 1074);  // |v| * 10^4 = m * 10^4 / 2^shift
  const u128 num = static_cast<u128>(m) * 10000U;
  if (shift <= 0) return static_cast<std::uint64_t>(num << -shift);
  if (shift > 120) return 0;  // far below one half
  const auto q = static_cast<std::uint64_t>(num >> shift);
  const u128 rem = num & ((static_cast<u128>(1) << shift) - 1);
  const u128 half = static_cast<u128>(1) << (shift - 1);
  return q + ((rem > half || (rem == half && (q & 1U) != 0)) ? 1 : 0);
}

char* padded(char* out, const char* s, const char* end, int width) {
  for (auto n = static_cast<int>(end - s); n < width; ++n) *out++ = ' ';
  std::memcpy(out, s, static_cast<std::size_t>(end - s));
  return out + (end - s);
}

}  // namespace

char* formatFixed(char* out, double v, int width) {
  if (std::fabs(v) < 1e14 && width <= 16) {  // false for NaN
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    const std::uint64_t q = scaledRound(v);
    // Built right to left in a fixed slot whose blanks already pad to the width, so that the
    // result leaves in one fixed-size copy.
    char slot[64];
    std::memset(slot, ' ', sizeof slot);
    char* const end = slot + 40;
    char* d = end;
    auto pair = [&](std::uint64_t two) {
      d -= 2;
      std::memcpy(d, kPairs + 2 * two, 2);
    };
    const std::uint64_t frac = q % 10000;
    pair(frac % 100);
    pair(frac / 100);
    *--d = '.';
    std::uint64_t ip = q / 10000;
    for (; ip >= 100; ip /= 100) pair(ip % 100);
    if (ip >= 10) {
      pair(ip);
    } else {
      *--d = static_cast<char>('0' + ip);
    }
    if (std::signbit(v)) *--d = '-';
    if (end - d < width) d = end - width;
    std::memcpy(out, d, 24);  // the longest result is 22 characters; the rest is overwritten later
    return out + (end - d);
  }
  if (std::isnan(v)) {
    const char* s = std::signbit(v) ? "-nan" : "nan";  // printf's spelling, sign included
    return padded(out, s, s + std::strlen(s), width);
  }
  // Up to 309 integer digits; to_chars with a precision rounds exactly as printf does.
  char tmp[kMaxFixed];
  return padded(out, tmp, std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::fixed, 4).ptr, width);
}

void putFixed(Writer& w, double v, int width) {
  char* p = reserve(w, kMaxFixed + static_cast<std::size_t>(width));
  w.len = static_cast<std::size_t>(formatFixed(p, v, width) - w.buf.get());
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
