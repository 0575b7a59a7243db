// Buffered writer for the output file. Everything goes through large buffers and leaves in big
// fwrite calls; numbers are formatted here with the exact bytes printf would give for the few
// formats the file uses. A failed write is remembered, not reported: run control decides.
//
// Once the output outgrows one buffer, a second buffer and a thread that writes are added: the
// caller formats into one buffer while the thread writes the other, so formatting and the kernel's
// copy into the file overlap. Output that fits one buffer never starts the thread.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <string_view>

namespace plovanet {

struct WriterThread;  // the second buffer and the thread writing it; made at the first hand-off

struct Writer {
  std::FILE* fp = nullptr;
  std::unique_ptr<char[]> buf;  // the buffer being filled; always the caller's own
  std::size_t cap = 0, len = 0;
  // Sticky. A failure on the thread shows here at the next hand-off or flush, and at once
  // through writeFailed. Once set, further data is dropped.
  bool failed = false;
  std::unique_ptr<WriterThread> thread;
  const std::atomic<bool>* threadFailed = nullptr;  // inside *thread

  Writer();
  Writer(Writer&& o) noexcept;
  Writer& operator=(Writer&& o) noexcept;
  ~Writer();  // waits for a buffer already handed to the thread; drops what is still in buf
};

Writer makeWriter(std::FILE* fp, std::size_t capacity = std::size_t{1} << 20);

// Synchronous: when it returns, everything put so far has been written (or failed).
void flush(Writer& w);
// Sends the full buffer on its way (to the thread, which is started the first time) and
// continues in the other buffer, waiting only while the thread still writes that one.
void handOff(Writer& w);
// Cheap enough to ask once per record: formatting can stop as soon as a write has failed.
inline bool writeFailed(const Writer& w) {
  return w.failed || (w.threadFailed != nullptr && w.threadFailed->load(std::memory_order_relaxed));
}

// Room for at least n more bytes at buf + len.
inline char* reserve(Writer& w, std::size_t n) {
  if (w.cap - w.len < n) handOff(w);
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

// "%.15g": up to 15 significant digits ("47", "0.000123", "1.5e-07"). Into raw memory with room
// for kMaxNumber bytes.
inline constexpr std::size_t kMaxNumber = 32;
char* formatNumber(char* out, double v);
void putNumber(Writer& w, double v);

// Flushes, stops the thread and closes; false if any write or the close failed.
bool closeWriter(Writer& w);

}  // namespace plovanet
