#include "output/blocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support.h"

namespace plovanet {

namespace {

// A closed-form data set: n1 animals at occasion 1, 50 entrants at each later one.
Cohorts dataSet(int nper, double n1, double s) {
  Design d;
  d.nper = nper;
  d.dim = 1 << nper;
  DataSet ds = blankDataSet(nper);
  const auto k = static_cast<std::size_t>(nper);
  ds.pa.assign(k, 0.3), ds.p2.assign(k, 0.35), ds.sa.assign(k, s), ds.th.assign(k, 0.95);
  Totals tot(nper);
  Cohorts c;
  for (int occ = 1; occ <= nper; ++occ) cohortsOccasion(c, d, ds, tot, occ, occ == 1 ? n1 : 50);
  return c;
}

struct Files {
  test::MemFile out, csv;
  Writer w = makeWriter(out.fp), cw = makeWriter(csv.fp);
  std::string text() {
    flush(w);
    return out.text();
  }
  ~Files() {
    closeWriter(w);
    closeWriter(cw);
    out.fp = csv.fp = nullptr;  // closed with their writers
  }
};

}  // namespace

// A one-group block writes the same records whichever way it goes (line workers, the walk beside
// a CSV file, a table row), and leaves its column empty for the next block.
TEST(Blocks, EveryWayOfWritingABlockGivesTheSameRecords) {
  const int nper = 16;
  struct Case {
    const char* way;
    bool csv, row;
  };
  const Case cases[] = {{"line workers", false, false}, {"walk", true, false}, {"table row", false, true}};
  std::string first;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.way);
    Files f;
    OrdinaryRecords rec;
    rec.sources.push_back(dataSet(nper, 1000, 0.9));
    if (c.row) ASSERT_EQ(ensureRow(rec, nper, SIZE_MAX), Shortfall::none);
    Column col = std::move(rec);
    const BlockTarget t{&f.w, c.csv ? &f.cw : nullptr, "1,1,", false, kThreshold, nper};
    const BlockResult r = writeBlock(t, col);
    EXPECT_EQ(r.stop, BlockStop::None);
    EXPECT_GT(r.outCaptures, 0);
    const std::string text = f.text();
    if (first.empty()) first = text;
    EXPECT_GT(text.size(), 100000u);
    EXPECT_EQ(text, first);
    writeBlock(t, col);  // emptied: nothing more
    EXPECT_EQ(f.text(), first);
  }
}

// The group table is the same whether it is walked or written from rows, once one group needs a
// row; a group never met shows 0. Rows that would exceed the memory limit stop it.
TEST(Blocks, GroupTableFromWalkOrRowsAndItsStops) {
  const int nper = 6;
  std::string walked;
  for (const bool row : {false, true}) {
    Files f;
    OrdinaryRecords first, second;
    first.sources.push_back(dataSet(nper, 1000, 0.9));
    second.sources.push_back(dataSet(nper, 300, 0.7));
    if (row) ASSERT_EQ(ensureRow(first, nper, SIZE_MAX), Shortfall::none);
    std::vector<Column> cols;
    cols.emplace_back(std::move(first));
    cols.emplace_back(std::move(second));
    const BlockTarget t{&f.w, nullptr, {}, false, kThreshold, nper};
    if (row) EXPECT_EQ(writeTable(t, cols, 3, 0).stop, BlockStop::RowTooLarge);
    EXPECT_EQ(writeTable(t, cols, 3, SIZE_MAX).stop, BlockStop::None);
    const std::string text = f.text();
    if (!row) walked = text;
    EXPECT_NE(text.find(" 0.0000"), std::string::npos);
    EXPECT_EQ(text, walked);
  }
}

// A live-dead study's records spell 2K characters, from the closed form or from a tally (here the
// recursion's expected values), alone or as the group table; a group never met shows 0.
TEST(Blocks, LiveDeadRecordsSpellTwoCharactersAnOccasion) {
  const int nper = 4;
  Design d;
  d.nper = nper;
  d.dim = 1 << nper;
  d.encounters = Encounters::barker;
  DataSet ds = blankDataSet(nper);
  for (std::size_t k = 0; k < static_cast<std::size_t>(nper); ++k) {
    ds.n[k] = 100;
    ds.pa[k] = ds.p2[k] = 0.4;
    ds.sa[k] = 0.8;
    ds.rr[k] = ds.rs[k] = ds.rsd[k] = 0.2;
    ds.fid[k] = 0.9;
  }
  std::vector<std::string> texts;
  for (const bool tally : {false, true}) {
    Files f;
    LiveDeadRecords rec;
    Totals tot(nper);
    Stream rng;
    if (tally) {
      for (int k = 0; k < nper; ++k)
        caphisLiveDead(d, ds, tot, rng, rec.tally, 0, ds.n[static_cast<std::size_t>(k)], k + 1, true,
                       std::nullopt);
    } else {
      LiveDeadCohorts& c = rec.sources.emplace_back(d, ds);
      for (int k = 0; k < nper; ++k) liveDeadOccasion(c, tot, k, ds.n[static_cast<std::size_t>(k)]);
    }
    std::vector<Column> cols;
    cols.emplace_back(std::move(rec));
    const BlockTarget t{&f.w, nullptr, {}, false, kThreshold, nper};
    EXPECT_EQ(writeTable(t, cols, 2, SIZE_MAX).stop, BlockStop::None);
    texts.push_back(f.text());
  }
  EXPECT_EQ(texts[0], texts[1]);
  // First caught at occasion 4: 169.9246 unmarked animals inside then (100 a year, 0.6 missed,
  // 0.8 surviving, 0.9 staying), 0.4 caught, 0.768 seen no more.
  EXPECT_EQ(texts[0].substr(0, 35), "00000010      52.2008       0.0000;");
}

}  // namespace plovanet
