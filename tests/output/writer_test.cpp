#include "output/writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <utility>

#include "support.h"

namespace plovanet {

namespace {

// A FILE* whose bytes land in data. Writes fail from the one that would pass failAt on; delay
// makes the disk slow, so that the caller overtakes the writer thread.
struct Sink {
  std::string data;
  std::size_t failAt = SIZE_MAX;
  bool failing = false;
  int writesAfterFailure = 0;
  std::chrono::microseconds delay{0};
  std::FILE* fp = nullptr;

  Sink() {
    cookie_io_functions_t io{};
    io.write = [](void* c, const char* b, std::size_t n) -> ssize_t {
      auto& s = *static_cast<Sink*>(c);
      std::this_thread::sleep_for(s.delay);
      s.writesAfterFailure += s.failing ? 1 : 0;
      s.failing = s.failing || s.data.size() + n > s.failAt;
      if (s.failing) return 0;  // the error return of a cookie write
      s.data.append(b, n);
      return static_cast<ssize_t>(n);
    };
    fp = fopencookie(this, "w", io);
    std::setvbuf(fp, nullptr, _IONBF, 0);  // as the program opens its output
  }
  ~Sink() {
    if (fp != nullptr) std::fclose(fp);
  }
  std::FILE* release() { return std::exchange(fp, nullptr); }  // to a writer, which closes it
};

// One call on the writer, in each of the ways the record writers use it, and the bytes it puts.
struct Piece {
  enum Kind { Put, Reserved, Fixed, Flush } kind;
  std::string text;
  double v = 0;
};

// About `bytes` bytes of pieces; strings run from empty to three buffers long.
std::vector<Piece> pieces(std::size_t bytes, std::size_t cap, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<Piece> out;
  for (std::size_t total = 0; total < bytes; total += out.back().text.size()) {
    Piece p{gen() % 64 == 0 ? Piece::Flush : static_cast<Piece::Kind>(gen() % 3), {}};
    char tmp[kMaxFixed + 16];
    if (p.kind == Piece::Put) {
      const std::size_t n = gen() % 8 == 0 ? gen() % (3 * cap) : gen() % 40;
      for (std::size_t i = 0; i < n; ++i) p.text += static_cast<char>('a' + (total + i) % 26);
    } else if (p.kind == Piece::Reserved) {
      p.text = std::string(gen() % 30 + 1, '1') + " ;\n";
    } else if (p.kind == Piece::Fixed) {
      p.v = std::ldexp(static_cast<double>(gen()), -20);
      p.text.assign(tmp, formatFixed(tmp, p.v, 12));
    }
    out.push_back(std::move(p));
  }
  return out;
}

void apply(Writer& w, const Piece& p) {
  if (p.kind == Piece::Put) put(w, p.text);
  if (p.kind == Piece::Fixed) putFixed(w, p.v, 12);
  if (p.kind == Piece::Flush) flush(w);
  if (p.kind == Piece::Reserved) {
    std::memcpy(w.reserve(p.text.size() + kMaxFixed).data(), p.text.data(), p.text.size());
    w.commit(p.text.size());
  }
}

}  // namespace

// The output file's "%12.4lf", and the "%.15g" of the CSV= and TRUTH= files.
TEST(Writer, NumbersMatchPrintfByteForByte) {
  // ties at the fourth decimal, huge, tiny, non-finite, whole numbers with 15 and more digits
  const double edges[] = {
      0.0,       -0.0,       5e-05,      0.03125,           0.03135, 1.00005,      -3.99995,
      0x1p53,    0x1p53 - 1, 1e15 + 0.5, 999999999999999.0, 1e15,    -1e300,       INFINITY,
      -INFINITY, NAN,        -NAN,       DBL_TRUE_MIN,      DBL_MAX, 3.359232e-05, 1e-4,
      0.1 + 0.2};
  std::vector<double> values(std::begin(edges), std::end(edges));
  std::mt19937_64 gen(3);
  for (int i = 0; i < 20000; ++i) {
    const double mag = std::pow(10.0, std::uniform_real_distribution<double>(-12, 17)(gen));
    values.push_back(std::uniform_real_distribution<double>(-1, 1)(gen) * mag);
    values.push_back(std::round(values.back() * 1e5) / 1e5);        // near the 4-decimal ties
    values.push_back(static_cast<double>(gen() % 1000000) / 32.0);  // exact binary ties
  }
  for (const bool fixed : {true, false}) {
    SCOPED_TRACE(fixed ? "%12.4lf" : "%.15g");
    test::MemFile mem;
    Writer w = makeWriter(mem.fp, 1);  // smallest buffer: many flushes
    std::string want;
    for (double v : values) {
      fixed ? putFixed(w, v, 12) : putNumber(w, v);
      put(w, "\n");
      char tmp[512];
      std::snprintf(tmp, sizeof tmp, fixed ? "%12.4lf\n" : "%.15g\n", v);
      want += tmp;
    }
    closeWriter(w);
    mem.fp = nullptr;  // closed with the writer
    const std::string got = mem.text();
    // The first line that differs (rfind's npos + 1 is line 0).
    const auto at = std::mismatch(want.begin(), want.end(), got.begin(), got.end()).first - want.begin();
    const std::size_t line = want.rfind('\n', static_cast<std::size_t>(at)) + 1;
    EXPECT_EQ(got.substr(line, 40), want.substr(line, 40));
    EXPECT_EQ(got.size(), want.size());
  }
}

TEST(Writer, ThreadedOutputIsByteIdenticalForEverySizeAndBuffer) {
  struct Case {
    std::size_t cap, bytes;
    int delayUs;
  } cases[] = {{1024, 100, 0},  {1024, 1024, 0},      {1024, 300000, 0},     {1024, 60000, 50},
               {4000, 4001, 0}, {65536, 1000000, 20}, {1 << 20, 5000000, 0}, {1 << 20, 3000000, 300}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "cap " << c.cap << ", " << c.bytes << " bytes");
    const auto ps = pieces(c.bytes, c.cap, static_cast<unsigned>(c.cap + c.bytes));
    std::string want;
    for (const Piece& p : ps) want += p.text;
    Sink sink;
    sink.delay = std::chrono::microseconds(c.delayUs);
    Writer w = makeWriter(sink.release(), c.cap);
    std::size_t handed = 0;
    for (const Piece& p : ps) {
      apply(w, p);
      handed += p.text.size();
      // flush returns with everything written, though the thread may still be busy (delay)
      if (p.kind == Piece::Flush) ASSERT_TRUE(sink.data == want.substr(0, handed));
    }
    EXPECT_TRUE(closeWriter(w));
    EXPECT_EQ(sink.data.size(), want.size());
    EXPECT_TRUE(sink.data == want);
  }
}

TEST(Writer, FailedWriteIsStickyAndDropsTheRest) {
  struct Case {
    std::size_t cap, bytes, failAt;
    bool fails;
  } cases[] = {{1024, 50000, 0, true},
               {1024, 50000, 49999, true},
               {1024, 50000, 50004, false},
               {1 << 20, 100, 10, true},
               {1 << 20, 8 << 20, 3 << 20, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "cap " << c.cap << ", failing past " << c.failAt);
    Sink sink;
    sink.failAt = c.failAt;
    Writer w = makeWriter(sink.release(), c.cap);
    const std::string want(c.bytes, 'z');
    put(w, want);
    // Known without a flush once the thread has given back the buffer that failed.
    if (c.fails && c.failAt + 2 * c.cap <= c.bytes) EXPECT_TRUE(w.failed());
    flush(w);
    EXPECT_EQ(w.failed(), c.fails);
    EXPECT_EQ(writeFailed(w), c.fails);
    put(w, "more");
    EXPECT_EQ(closeWriter(w), !c.fails);
    EXPECT_EQ(sink.writesAfterFailure, 0);
    EXPECT_LE(sink.data.size(), c.failAt);
    EXPECT_TRUE(sink.data == want.substr(0, sink.data.size()) + (c.fails ? "" : "more"));
  }
}

TEST(Writer, MovedOrDestroyedWithoutCloseWritesWhatWasHandedOver) {
  Sink first, second;
  first.delay = second.delay = std::chrono::microseconds(300);
  std::string want;
  std::size_t handedOver = 0, secondHandedOver = 0;
  {
    Writer a = makeWriter(first.release(), 1024);
    for (int i = 0; i < 20; ++i) {
      want += std::string(700, static_cast<char>('a' + i));
      put(a, want.substr(want.size() - 700));
    }
    Writer b(std::move(a));  // moved with its thread busy
    Writer c = makeWriter(second.release(), 1024);
    put(c, std::string(5000, '!'));
    secondHandedOver = 5000 - c.pending();
    c = std::move(b);  // c's own thread finishes its buffer and is joined
    EXPECT_EQ(second.data, std::string(secondHandedOver, '!'));
    put(c, "tail");
    want += "tail";
    handedOver = want.size() - c.pending();
  }
  EXPECT_TRUE(first.data == want.substr(0, handedOver));
}
}  // namespace plovanet
