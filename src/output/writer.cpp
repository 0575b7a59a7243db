#include "output/writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace plovanet {

// Two buffers in all: one is always the caller's (Writer::buf); the other is spare, waiting in
// job for the thread, or being written by it. Whoever holds the mutex may move them.
struct WriterThread {
  std::mutex m;
  std::condition_variable cv;
  std::FILE* fp;
  std::unique_ptr<char[]> job;  // handed over, not yet taken by the thread
  std::size_t jobLen = 0;
  std::unique_ptr<char[]> spare;  // written and free again
  bool stop = false;
  std::atomic<bool> failed{false};
  std::thread t;  // last: starts once everything above is in place

  WriterThread(std::FILE* f, std::unique_ptr<char[]> second) : fp(f), spare(std::move(second)) {
    t = std::thread([this] { run(); });
  }
  ~WriterThread() {
    {
      std::lock_guard lock(m);
      stop = true;
    }
    cv.notify_all();
    t.join();
  }

  void run() {
    std::unique_lock lock(m);
    for (;;) {
      cv.wait(lock, [&] { return job != nullptr || stop; });
      if (job == nullptr) return;  // a job handed over before the stop is still written
      std::unique_ptr<char[]> b = std::move(job);
      const std::size_t n = jobLen;
      lock.unlock();
      if (!failed.load(std::memory_order_relaxed) && std::fwrite(b.get(), 1, n, fp) != n) {
        failed.store(true, std::memory_order_relaxed);
      }
      lock.lock();
      spare = std::move(b);
      cv.notify_all();
    }
  }

  // Returns with the lock held and the spare buffer back, i.e. with the thread idle.
  std::unique_lock<std::mutex> waitIdle() {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return spare != nullptr; });
    return lock;
  }
};

Writer::Writer() = default;

Writer::Writer(std::FILE* fp, std::size_t capacity) : fp_(fp) {
  cap_ = capacity < 1024 ? 1024 : capacity;             // room for the longest single item (about 330 bytes)
  buf_ = std::make_unique_for_overwrite<char[]>(cap_);  // untouched pages cost nothing
}

Writer::~Writer() {
  thread_.reset();  // the buffer handed over is written first
  if (fp_ != nullptr) std::fclose(fp_);
}

Writer::Writer(Writer&& o) noexcept
    : fp_(std::exchange(o.fp_, nullptr)),
      buf_(std::move(o.buf_)),
      cap_(std::exchange(o.cap_, 0)),
      len_(std::exchange(o.len_, 0)),
      failed_(o.failed_.exchange(false, std::memory_order_relaxed)),
      thread_(std::move(o.thread_)),
      threadFailed_(o.threadFailed_.exchange(nullptr)) {}

Writer& Writer::operator=(Writer&& o) noexcept {
  if (this != &o) {
    thread_.reset();  // joins a thread of ours first
    if (fp_ != nullptr) std::fclose(fp_);
    fp_ = std::exchange(o.fp_, nullptr);
    buf_ = std::move(o.buf_);
    cap_ = std::exchange(o.cap_, 0);
    len_ = std::exchange(o.len_, 0);
    failed_.store(o.failed_.exchange(false, std::memory_order_relaxed), std::memory_order_relaxed);
    thread_ = std::move(o.thread_);
    threadFailed_.store(o.threadFailed_.exchange(nullptr));
  }
  return *this;
}

void Writer::writeHere() {
  if (!failed() && (fp_ == nullptr || std::fwrite(buf_.get(), 1, len_, fp_) != len_)) fail();
  len_ = 0;
}

void Writer::flush() {
  if (thread_ != nullptr) {
    // The thread is idle from here until the next hand-off, so this thread may use the file.
    const auto lock = thread_->waitIdle();
    if (thread_->failed.load(std::memory_order_relaxed)) fail();
  }
  if (len_ != 0) writeHere();
}

void Writer::handOff() {
  if (len_ == 0) return;
  if (failed() || fp_ == nullptr) {
    fail();
    len_ = 0;
    return;
  }
  if (thread_ == nullptr) {
    try {
      thread_ = std::make_unique<WriterThread>(fp_, std::make_unique_for_overwrite<char[]>(cap_));
      threadFailed_.store(&thread_->failed, std::memory_order_release);
    } catch (const std::system_error&) {  // no thread to be had: write here, as before
      writeHere();
      return;
    }
  }
  WriterThread& t = *thread_;
  {
    const auto lock = t.waitIdle();
    if (t.failed.load(std::memory_order_relaxed)) {
      fail();
      len_ = 0;
      return;
    }
    t.job = std::move(buf_);
    t.jobLen = len_;
    buf_ = std::move(t.spare);
  }
  t.cv.notify_all();
  len_ = 0;
}

void Writer::open(std::FILE* fp) {
  threadFailed_.store(nullptr);
  thread_.reset();
  if (fp_ != nullptr) std::fclose(fp_);
  fp_ = fp;
  failed_.store(false, std::memory_order_relaxed);
}

bool Writer::close() {
  flush();
  threadFailed_.store(nullptr);
  thread_.reset();
  bool ok = !failed();
  if (fp_ != nullptr) {
    if (std::fflush(fp_) != 0 || std::ferror(fp_) != 0) ok = false;
    if (std::fclose(fp_) != 0) ok = false;
    fp_ = nullptr;
  }
  return ok;
}

void put(Writer& w, std::string_view s) {
  while (!s.empty()) {
    const std::span<char> room = w.reserve(1);
    const std::size_t n = std::min(s.size(), room.size());
    std::memcpy(room.data(), s.data(), n);
    w.commit(n);
    s.remove_prefix(n);
  }
}

void putPadded(Writer& w, long long v, int width, char fill) {
  char tmp[24];
  const auto n = static_cast<std::size_t>(std::to_chars(tmp, tmp + sizeof tmp, v).ptr - tmp);
  const auto wid = static_cast<std::size_t>(width);
  char* p = w.reserve(n + wid).data();
  const std::size_t pad = n < wid ? wid - n : 0;
  std::memset(p, fill, pad);
  std::memcpy(p + pad, tmp, n);
  w.commit(pad + n);
}

void putf(Writer& w, const char* fmt, ...) {
  char tmp[160];
  std::va_list args;
  va_start(args, fmt);
  const int n = std::vsnprintf(tmp, sizeof tmp, fmt, args);
  va_end(args);
  if (n > 0) put(w, std::string_view(tmp, std::min(static_cast<std::size_t>(n), sizeof tmp - 1)));
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

// The same, usually from one multiplication: below 2^32, |v| * 10^4 in doubles is within 2^-8 of
// the exact product, so unless it lies within 2^-7 of a half it rounds the same way.
std::uint64_t scaledRoundFast(double v) {
  const double a = std::fabs(v);
  if (a < 0x1p32) {
    const double t = a * 10000.0;
    const auto i = static_cast<std::uint64_t>(t);
    const double d = t - static_cast<double>(i);
    if (std::fabs(d - 0.5) > 0x1p-7) return i + (d > 0.5 ? 1 : 0);
  }
  return scaledRound(v);
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
    const std::uint64_t q = scaledRoundFast(v);
    // Written straight into out, right to left from the end of the field: blanks first, then
    // the digits. Nothing is read back, so no load waits on the narrow stores just made.
    std::uint64_t ip = q / 10000;
    int len = std::signbit(v) ? 7 : 6;  // sign, one integer digit, '.', four decimals
    for (std::uint64_t t = ip; t >= 10; t /= 10) ++len;
    const int total = len < width ? width : len;
    std::memset(out, ' ', 16);  // width <= 16; the digits overwrite what they need
    char* const end = out + total;
    char* d = end;
    auto pair = [&](std::uint64_t two) {
      d -= 2;
      std::memcpy(d, kPairs + 2 * two, 2);
    };
    const std::uint64_t frac = q % 10000;
    pair(frac % 100);
    pair(frac / 100);
    *--d = '.';
    for (; ip >= 100; ip /= 100) pair(ip % 100);
    if (ip >= 10) {
      pair(ip);
    } else {
      *--d = static_cast<char>('0' + ip);
    }
    if (std::signbit(v)) *--d = '-';
    return end;
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
  char* p = w.reserve(kMaxFixed + static_cast<std::size_t>(width)).data();
  w.commit(static_cast<std::size_t>(formatFixed(p, v, width) - p));
}

void putFrequency(Writer& w, double v, int decimals) {
  constexpr int kWidth = 12;
  if (decimals == 4 || !std::isfinite(v)) return putFixed(w, v, kWidth);
  char* p = w.reserve(kMaxFixed + 16 + kWidth).data();
  char tmp[kMaxFixed + 16];
  const char* end = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::fixed, decimals).ptr;
  w.commit(static_cast<std::size_t>(padded(p, tmp, end, kWidth) - p));
}

char* formatNumber(char* out, double v) {
  // to_chars, not printf: the same bytes with every C library (some Windows runtimes write
  // three exponent digits).
  return std::to_chars(out, out + kMaxNumber, v, std::chars_format::general, 15).ptr;
}

void putNumber(Writer& w, double v) {
  char* p = w.reserve(kMaxNumber).data();
  w.commit(static_cast<std::size_t>(formatNumber(p, v) - p));
}

}  // namespace plovanet
