#include "output/records.h"

#include <gtest/gtest.h>

#include <cmath>

#include "output/trailers.h"
#include "support.h"

namespace plovanet {

namespace {

// One file as a run writes it: header, the records of every group, trailers.
std::string file(const Layouts& lay, int nper, const std::vector<std::vector<double>>& groups) {
  const int dim = 1 << nper;
  std::vector<std::vector<double>> table = groups;
  for (auto& row : table) row.resize(static_cast<std::size_t>(dim), 0.0);
  test::MemFile mem;
  Writer w = makeWriter(mem.fp);
  writeHeaders(w, lay, nper, dim, static_cast<int>(groups.size()));
  Sink sink{&w, lay.captflg, nullptr, {}, nper, static_cast<int>(groups.size())};
  if (groups.size() == 1) writeRecordBlock(sink, table[0].data(), nper);
  std::vector<const double*> rows;
  for (const auto& row : table) rows.push_back(row.data());
  if (groups.size() > 1) writeGroupTable(sink, rows);
  writeTrailers(w, lay, nper, static_cast<int>(groups.size()));
  closeWriter(w);
  mem.fp = nullptr;  // closed with the writer
  return mem.text();
}

std::string expected(const std::string& name) {
  return test::slurp(PLOVANET_TESTS_DIR "/output/expected/" + name);
}

}  // namespace

TEST(Records, WholeFilesOfEachLayout) {
  const std::vector<double> example = {40.0, 12.5, 0.00004, 3.25, 7.0, 0.0, 0.4, 1.875};
  std::vector<double> wide(1 << 14, 0.0);
  wide[12345] = 1.0;
  wide[1] = 5e-05;
  wide[3] = NAN;
  wide[0] = 99;
  struct Case {
    Layouts lay;
    int nper;
    std::vector<std::vector<double>> groups;
    const char* name;
  };
  const Case cases[] = {
      {{0, 0, 1}, 3, {example}, "mark_alone.out"},
      {{1, 0, 0}, 3, {example}, "jolly_alone.out"},
      {{0, 1, 0}, 3, {{20.0, 2.5, 0, 0.4, 1.0, 0, 0, 0.00005}}, "capture_alone.out"},
      {{0, 1, 0}, 3, {example, {0, 2.0, 0.00002, 0, 1.5, 0, 0, 0.6}}, "group_table_capture.out"},
      {{0, 0, 1}, 1, {{5, 2}}, "mark_nper_1.out"},
      {{0, 1, 0}, 14, {wide}, "capture_wide_history.out"},
      {{0, 0, 0}, 2, {{7, 5e-05, std::nextafter(5e-05, 1.0), 0.5}}, "bare_threshold.out"},
  };
  for (const Case& c : cases) EXPECT_EQ(file(c.lay, c.nper, c.groups), expected(c.name)) << c.name;
  const std::string four = file({0, 0, 1}, 4, {{}});
  EXPECT_EQ(four.substr(four.find("proc estimate")), expected("mark_trailer_nper_4.out"));
}

}  // namespace plovanet
