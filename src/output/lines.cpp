#include "output/lines.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/state.h"
#include "output/records.h"

namespace plovanet {

char* formatLine(char* out, const char* digits, int nper, double x) {
  std::memcpy(out, digits, kDigitsRoom);  // fixed-size copy; only the first nper bytes count
  const auto n = static_cast<std::size_t>(nper);
  out[n] = ' ';
  out = formatFixed(out + n + 1, x, 12);
  *out++ = ';';
  *out++ = '\n';
  return out;
}

namespace {

constexpr std::size_t kInFlight = 12;  // chunks between the walk and the file, at most

struct Chunk {
  std::unique_ptr<LineRecord[]> records = std::make_unique<LineRecord[]>(kLineChunk);
  std::size_t count = 0;
  std::vector<char> text;
  std::size_t len = 0;
  double captures = 0;  // sum of frequency times captures of its records
  bool claimed = false, done = false;
};

// The digits of the low nper bits of h, occasion 1 first, in kDigitsRoom bytes.
void digitsOf(char* out, std::uint32_t h, int nper) {
  static const auto table = [] {
    std::array<std::array<char, 8>, 256> t{};
    for (int b = 0; b < 256; ++b) {
      for (int i = 0; i < 8; ++i)
        t[static_cast<std::size_t>(b)][static_cast<std::size_t>(i)] = ((b >> (7 - i)) & 1) != 0 ? '1' : '0';
    }
    return t;
  }();
  const std::uint32_t v = nper == 0 ? 0 : h << (32 - nper);
  for (int byte = 0; byte < 4; ++byte) {
    std::memcpy(out + static_cast<std::ptrdiff_t>(8) * byte, table[(v >> (24 - 8 * byte)) & 0xFF].data(), 8);
  }
}

}  // namespace

struct LineWorkers {
  Writer* out;
  int nper;
  std::mutex m;
  std::condition_variable cv;                 // a chunk was added, finished or written; or stop
  std::deque<std::unique_ptr<Chunk>> chunks;  // in order; the front is written next
  std::vector<std::unique_ptr<Chunk>> spare;  // written, kept with their memory for reuse
  std::unique_ptr<Chunk> filling;
  bool writing = false;  // a worker is writing the front chunk
  double captures = 0;   // of the chunks written, added in their order
  bool stop = false;
  bool outOfMemory = false;  // a worker could not allocate; out has failed too
  std::vector<std::thread> threads;

  void format(Chunk& c) const {
    // Grown once and reused: a fresh buffer for every chunk costs its page faults again.
    const std::size_t need = c.count * (kDigitsRoom + 16 + 12) + kMaxFixed + kDigitsRoom + 16;
    if (c.text.size() < need) c.text.resize(need);
    char* p = c.text.data();
    char digits[kDigitsRoom];
    c.captures = 0;
    for (std::size_t i = 0; i < c.count; ++i) {
      const LineRecord& r = c.records[i];
      // Room for a line as long as a frequency can print: grow before, rarely.
      if (static_cast<std::size_t>(p - c.text.data()) + kDigitsRoom + kMaxFixed + 16 > c.text.size()) {
        const auto at = static_cast<std::size_t>(p - c.text.data());
        c.text.resize(c.text.size() * 2);
        p = c.text.data() + at;
      }
      digitsOf(digits, static_cast<std::uint32_t>(r.h), nper);
      p = formatLine(p, digits, nper, r.x);
      c.captures += timesCaught(static_cast<std::uint32_t>(r.h)) * r.x;
    }
    c.len = static_cast<std::size_t>(p - c.text.data());
  }

  void work() {
    std::unique_lock lock(m);
    while (true) {
      Chunk* next = nullptr;
      cv.wait(lock, [&] {
        for (auto& c : chunks) {
          if (!c->claimed) {
            next = c.get();
            return true;
          }
        }
        return stop;
      });
      if (next == nullptr) return;
      next->claimed = true;
      lock.unlock();
      // Memory can run out here as on any thread; it must not escape the thread (that would
      // end the process with the temporary file left), so it stops the block like a failed write.
      bool formatted = true;
      try {
        format(*next);
      } catch (const std::bad_alloc&) {
        formatted = false;
      }
      lock.lock();
      if (!formatted) {
        outOfMemory = true;
        out->fail();
        cv.notify_all();
        continue;
      }
      next->done = true;
      try {
        writeReady(lock);
      } catch (const std::bad_alloc&) {
        outOfMemory = true;
        out->fail();
        if (!lock.owns_lock()) lock.lock();
      }
      cv.notify_all();
    }
  }

  // Writes the finished chunks at the front, in order; one worker at a time. Lock held.
  void writeReady(std::unique_lock<std::mutex>& lock) {
    while (!writing && !chunks.empty() && chunks.front()->done) {
      std::unique_ptr<Chunk> c = std::move(chunks.front());
      chunks.pop_front();
      writing = true;
      captures += c->captures;
      const bool skip = out->failed();
      lock.unlock();
      // Into the writer's buffer: its thread is the one that writes the file.
      if (!skip) put(*out, std::string_view(c->text.data(), c->len));
      c->count = 0;
      c->claimed = c->done = false;
      lock.lock();
      writing = false;
      spare.push_back(std::move(c));
      cv.notify_all();
    }
  }

  // Hands the filled chunk to the workers; waits while too many are on their way, or with last
  // set until all are written. False once a write has failed.
  bool submit(bool last) {
    std::unique_lock lock(m);
    if (filling && filling->count > 0) chunks.push_back(std::move(filling));
    filling.reset();
    cv.notify_all();
    cv.wait(lock,
            [&] { return out->failed() || (last ? chunks.empty() && !writing : chunks.size() < kInFlight); });
    return !out->failed();
  }

  ~LineWorkers() {
    {
      std::lock_guard lock(m);
      stop = true;
    }
    cv.notify_all();
    for (std::thread& t : threads) t.join();
  }
};

RecordLines::RecordLines() = default;
RecordLines::RecordLines(RecordLines&&) noexcept = default;
RecordLines& RecordLines::operator=(RecordLines&&) noexcept = default;
RecordLines::~RecordLines() = default;

RecordLines startLines(Writer& out, int nper) {
  RecordLines lines;
  flush(out);
  if (out.stream() == nullptr || writeFailed(out)) return lines;
  auto w = std::make_unique<LineWorkers>();
  w->out = &out;
  w->nper = nper;
  try {
    for (int i = 0; i < 2; ++i) w->threads.emplace_back([p = w.get()] { p->work(); });
  } catch (const std::system_error&) {
    return lines;  // the destructor joins those that started
  }
  lines.workers = std::move(w);
  return lines;
}

bool nextLineChunk(RecordLines& lines) {
  LineWorkers& w = *lines.workers;
  if (w.filling) {
    w.filling->count = kLineChunk;
    if (!w.submit(false)) return false;
  }
  {
    std::lock_guard lock(w.m);
    if (w.spare.empty()) {
      w.filling = std::make_unique<Chunk>();
    } else {
      w.filling = std::move(w.spare.back());
      w.spare.pop_back();
    }
  }
  lines.next = w.filling->records.get();
  lines.end = lines.next + kLineChunk;
  return true;
}

bool finishLines(RecordLines& lines) {
  LineWorkers& w = *lines.workers;
  if (w.filling) w.filling->count = static_cast<std::size_t>(lines.next - w.filling->records.get());
  const bool ok = w.submit(true);
  lines.captures = w.captures;
  {
    std::lock_guard lock(w.m);
    lines.outOfMemory = w.outOfMemory;
  }
  lines.workers.reset();
  return ok;
}

}  // namespace plovanet
