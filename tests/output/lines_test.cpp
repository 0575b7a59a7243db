#include "output/lines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "output/records.h"
#include "support.h"

namespace plovanet {

// The workers' lines, chunk after chunk, are the bytes the record writer gives one by one: many
// chunks, frequencies of every size (long fields included), a header before them.
TEST(Lines, WorkersWriteTheRecordWritersBytesInOrder) {
  struct Case {
    int nper;
    std::size_t records;
  };
  const Case cases[] = {{16, 0}, {16, 5}, {20, 100000}, {24, 300000}};
  std::mt19937 gen(3);
  for (const Case& c : cases) {
    std::vector<std::pair<int, double>> recs;
    int h = 0;
    for (std::size_t i = 0; i < c.records; ++i) {
      h += 1 + static_cast<int>(gen() % 3);
      const double x =
          std::ldexp(std::uniform_real_distribution<double>(0.5, 1)(gen), static_cast<int>(gen() % 80) - 10);
      recs.emplace_back(h % (1 << c.nper), x);
    }
    test::MemFile serial, parallel;
    Writer a = makeWriter(serial.fp), b = makeWriter(parallel.fp);
    for (Writer* w : {&a, &b}) put(*w, "header\n");
    Sink sink{&a, 0, nullptr, {}, c.nper, 1};
    for (auto [hh, x] : recs) {
      const std::string d = historyDigits(hh, c.nper) + std::string(kDigitsRoom, '0');  // readable room
      putRecord(sink, hh, std::string_view(d.data(), static_cast<std::size_t>(c.nper)), x);
    }
    RecordLines lines = startLines(b, c.nper);
    ASSERT_TRUE(lines.workers);
    for (auto [hh, x] : recs) ASSERT_TRUE(addLine(lines, hh, x));
    EXPECT_TRUE(finishLines(lines));
    for (Writer* w : {&a, &b}) put(*w, "trailer\n"), flush(*w);
    EXPECT_EQ(serial.text(), parallel.text()) << c.nper << " " << c.records;
    closeWriter(a);
    closeWriter(b);
    serial.fp = parallel.fp = nullptr;  // closed with their writers
  }
}

TEST(Lines, AFailedWriteStopsTheRecordsAndIsReported) {
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  Writer w = makeWriter(full);
  RecordLines lines = startLines(w, 20);
  ASSERT_TRUE(lines.workers);
  bool stopped = false;
  for (int h = 1; h < (1 << 20) && !stopped; ++h) stopped = !addLine(lines, h, 1.5);
  EXPECT_TRUE(stopped) << "a failed write must stop the walk early";
  EXPECT_FALSE(finishLines(lines));
  EXPECT_TRUE(writeFailed(w));
  closeWriter(w);
}

}  // namespace plovanet
