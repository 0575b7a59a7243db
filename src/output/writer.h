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
#include <span>
#include <string_view>

namespace plovanet {

struct WriterThread;  // the second buffer and the thread writing it; made at the first hand-off

// Owns the stream it is given: it is closed by close() or, at the latest, by the destructor.
class Writer {
 public:
  Writer();
  explicit Writer(std::FILE* fp, std::size_t capacity = std::size_t{1} << 20);
  Writer(Writer&& o) noexcept;
  Writer& operator=(Writer&& o) noexcept;
  ~Writer();  // waits for a buffer already handed to the thread; drops what is still buffered

  // Room for at least n more bytes (n at most the capacity, and at least 1024 always fits);
  // what is written there counts once commit takes it.
  std::span<char> reserve(std::size_t n) {
    if (cap_ - len_ < n) handOff();
    return {buf_.get() + len_, cap_ - len_};
  }
  // The first n bytes of the last reserve are output.
  void commit(std::size_t n) { len_ += n; }
  // Bytes buffered and not yet handed on.
  std::size_t pending() const { return len_; }

  // Synchronous: when it returns, everything put so far has been written (or failed).
  void flush();
  // Cheap enough to ask once per record: formatting can stop as soon as a write has failed.
  // Sticky; once set, further data is dropped.
  bool failed() const {
    const std::atomic<bool>* t = threadFailed_.load(std::memory_order_acquire);
    return failed_.load(std::memory_order_relaxed) || (t != nullptr && t->load(std::memory_order_relaxed));
  }
  // Counts as a failed write (the file was found damaged some other way).
  void fail() { failed_.store(true, std::memory_order_relaxed); }
  // The stream, for asking or cutting its length after a flush; null when there is none.
  std::FILE* stream() const { return fp_; }
  // Takes a stream to write, closing one still held; the buffer is kept, the failure cleared.
  void open(std::FILE* fp);
  // Flushes, stops the thread and closes; false if any write or the close failed.
  bool close();

 private:
  // Sends the full buffer on its way (to the thread, which is started the first time) and
  // continues in the other buffer, waiting only while the thread still writes that one.
  void handOff();
  void writeHere();

  std::FILE* fp_ = nullptr;
  std::unique_ptr<char[]> buf_;  // the buffer being filled; always the caller's own
  std::size_t cap_ = 0, len_ = 0;
  // Set here, or by a line worker (which uses the writer in the walk's stead, one at a time). A failure on
  // the thread shows at once through threadFailed_, and here at the next hand-off or flush.
  std::atomic<bool> failed_{false};
  std::unique_ptr<WriterThread> thread_;
  // Inside *thread_. Atomic: a line worker may start the thread while the walk's thread asks.
  std::atomic<const std::atomic<bool>*> threadFailed_{nullptr};
};

inline Writer makeWriter(std::FILE* fp, std::size_t capacity = std::size_t{1} << 20) {
  return Writer(fp, capacity);
}
inline void flush(Writer& w) {
  w.flush();
}
inline bool writeFailed(const Writer& w) {
  return w.failed();
}
inline bool closeWriter(Writer& w) {
  return w.close();
}

void put(Writer& w, std::string_view s);
// v right-aligned in width characters, filled with fill: "%4.4d" (v >= 0) is width 4 with '0',
// "%4d" width 4 with ' '. Longer numbers are written in full.
void putPadded(Writer& w, long long v, int width, char fill);
// printf's text of fmt and its arguments (headers and trailers), up to 159 bytes; the compiler
// checks the arguments against the format.
void putf(Writer& w, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void putFixed(Writer& w, double v, int width);  // "%<width>.4lf"
// The same into raw memory with room for kMaxFixed + width bytes; returns the end.
inline constexpr std::size_t kMaxFixed = 330;
char* formatFixed(char* out, double v, int width);
// "%12.<decimals>lf", decimals up to 15: frequencies below the layouts' threshold.
void putFrequency(Writer& w, double v, int decimals);

// "%.15g": up to 15 significant digits ("47", "0.000123", "1.5e-07"). Into raw memory with room
// for kMaxNumber bytes.
inline constexpr std::size_t kMaxNumber = 32;
char* formatNumber(char* out, double v);
void putNumber(Writer& w, double v);

}  // namespace plovanet
