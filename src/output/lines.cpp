#include "output/lines.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/state.h"

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

constexpr std::size_t kChunk = 1 << 15;  // records handed to a worker at a time
constexpr std::size_t kInFlight = 6;     // chunks between the walk and the file, at most

struct Record {
  int h;
  double x;
};

struct Chunk {
  std::vector<Record> records;
  std::vector<char> text;
  std::size_t len = 0;
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
    std::memcpy(out + 8 * byte, table[(v >> (24 - 8 * byte)) & 0xFF].data(), 8);
  }
}

}  // namespace

struct LineWorkers {
  Writer* out;
  int nper;
  std::mutex m;
  std::condition_variable cv;                 // a chunk was added, finished or written; or stop
  std::deque<std::unique_ptr<Chunk>> chunks;  // in order; the front is written next
  std::unique_ptr<Chunk> filling;
  bool stop = false;
  std::vector<std::thread> threads;

  void format(Chunk& c) const {
    c.text.resize(c.records.size() * (kDigitsRoom + 16 + 12) + kMaxFixed + kDigitsRoom + 16);
    char* p = c.text.data();
    char digits[kDigitsRoom];
    for (const Record& r : c.records) {
      // Room for a line as long as a frequency can print: grow before, rarely.
      if (static_cast<std::size_t>(p - c.text.data()) + kDigitsRoom + kMaxFixed + 16 > c.text.size()) {
        const auto at = static_cast<std::size_t>(p - c.text.data());
        c.text.resize(c.text.size() * 2);
        p = c.text.data() + at;
      }
      digitsOf(digits, static_cast<std::uint32_t>(r.h), nper);
      p = formatLine(p, digits, nper, r.x);
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
      format(*next);
      lock.lock();
      next->done = true;
      cv.notify_all();
    }
  }

  // Writes finished chunks at the front; with all set, waits for every chunk. Lock held.
  bool drain(std::unique_lock<std::mutex>& lock, bool all) {
    while (!chunks.empty()) {
      if (!chunks.front()->done) {
        if (!all && chunks.size() < kInFlight) return true;
        cv.wait(lock, [&] { return chunks.front()->done; });
      }
      std::unique_ptr<Chunk> c = std::move(chunks.front());
      chunks.pop_front();
      lock.unlock();
      const bool ok = !out->failed && std::fwrite(c->text.data(), 1, c->len, out->fp) == c->len;
      lock.lock();
      if (!ok) out->failed = true;
      if (out->failed) return false;
    }
    return true;
  }

  bool submit(bool last) {
    std::unique_lock lock(m);
    if (filling && !filling->records.empty()) chunks.push_back(std::move(filling));
    filling.reset();
    cv.notify_all();
    return drain(lock, last);
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
  if (out.fp == nullptr || writeFailed(out)) return lines;
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

bool addLine(RecordLines& lines, int h, double x) {
  LineWorkers& w = *lines.workers;
  if (!w.filling) {
    w.filling = std::make_unique<Chunk>();
    w.filling->records.reserve(kChunk);
  }
  w.filling->records.push_back({h, x});
  if (w.filling->records.size() < kChunk) return true;
  return w.submit(false);
}

bool finishLines(RecordLines& lines) {
  const bool ok = lines.workers->submit(true);
  lines.workers.reset();
  return ok;
}

}  // namespace plovanet
