#include "output/rows.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "output/blocks.h"
#include "support.h"

namespace plovanet {

namespace {

// Three careers of two animals' values, one covariate of each kind and the random effect, out of
// history order: 101 (twice, in the order drawn) and 011.
Individuals settings() {
  Individuals in;
  in.covariates = {{"mass", Law::normal, 20, 3, {}}, {"sex", Law::categories, 0, 0, {0.5, 0.5}}};
  in.heterogeneity = true;
  in.rows = true;
  return in;
}

IndividualRecords careers(const std::vector<HistoryKey>& keys) {
  IndividualRecords rec;
  rec.width = 3;
  rec.keys = keys;
  rec.values = {23.4182031, 1, -0.3045183, 19.5, 0, 1.25, -0.0000001, 1, 0};
  return rec;
}

std::string written(const BlockTarget& base, std::vector<Column> cols, int groups) {
  test::MemFile out, csv;
  Writer w = makeWriter(out.fp), cw = makeWriter(csv.fp);
  BlockTarget t = base;
  t.out = &w;
  t.csv = &cw;
  t.lead = "1,1,";
  const BlockResult r = groups == 1 ? writeBlock(t, cols[0]) : writeTable(t, cols, groups, SIZE_MAX);
  closeWriter(w);
  closeWriter(cw);
  out.fp = csv.fp = nullptr;  // closed with their writers
  std::string text = out.text() + csv.text();
  text += std::to_string(r.outLines) + " lines\n";
  return text;
}

}  // namespace

// INDIVIDUAL's lines in every form: in history order, a history's careers in the order drawn,
// values with six decimals and categories whole, the frequency 1 in the career's own group; the
// CSV= rows alike; a batch tally's histories once per animal.
TEST(Rows, CareersInHistoryOrderWithTheirValues) {
  const Individuals in = settings();
  const Symbols sym("AB");
  const HistoryKey a0b = withSymbol(withSymbol(0, 0, 3, sym.code[0]), 2, 3, sym.code[1]);
  const HistoryKey bb0 = withSymbol(withSymbol(0, 0, 3, sym.code[1]), 1, 3, sym.code[1]);
  Tally tally;
  tallyAdd(tally, 0b011, 2);
  tallyAdd(tally, 0b100, 1);
  Tally other;
  tallyAdd(other, 0b011, 1);
  // Live-dead careers of 3 occasions: caught at 1 and resighted over interval 2 (100200); caught
  // at 2 and reported dead over interval 3 (001001).
  const HistoryKey sighted = withEncounter(withEncounter(0, 0, 3, kSeen), 3, 3, kSighted);
  const HistoryKey reported = withEncounter(withEncounter(0, 2, 3, kSeen), 5, 3, kSeen);
  LiveDeadRecords drawn;
  tallyAdd(drawn.tally, reported, 2);
  struct Case {
    const char* what;
    bool mark;
    std::string states;
    std::vector<std::variant<Tally, IndividualRecords, LiveDeadRecords>> cols;  // Column is not copied
    int groups;
    const char* text;
  };
  std::vector<Case> cases;
  cases.push_back({"plain",
                   false,
                   "",
                   {careers({0b101, 0b011, 0b101})},
                   1,
                   "011       1.0000 19.500000 0 1.250000;\n"
                   "101       1.0000 23.418203 1 -0.304518;\n"
                   "101       1.0000 -0.000000 1 0.000000;\n"
                   "1,1,1,011,1,19.500000,0,1.250000\n"
                   "1,1,1,101,1,23.418203,1,-0.304518\n"
                   "1,1,1,101,1,-0.000000,1,0.000000\n"
                   "3 lines\n"});
  cases.push_back({"MARK",
                   true,
                   "",
                   {careers({0b101, 0b011, 0b101})},
                   1,
                   "011 1 19.500000 0 1.250000;\n"
                   "101 1 23.418203 1 -0.304518;\n"
                   "101 1 -0.000000 1 0.000000;\n"
                   "1,1,1,011,1,19.500000,0,1.250000\n"
                   "1,1,1,101,1,23.418203,1,-0.304518\n"
                   "1,1,1,101,1,-0.000000,1,0.000000\n"
                   "3 lines\n"});
  cases.push_back({"MARK, groups",
                   true,
                   "",
                   {careers({0b101, 0b011, 0b110}), careers({0b011})},
                   3,
                   "011 1 0 0 19.500000 0 1.250000;\n"
                   "011 0 1 0 23.418203 1 -0.304518;\n"
                   "101 1 0 0 23.418203 1 -0.304518;\n"
                   "110 1 0 0 -0.000000 1 0.000000;\n"
                   "1,1,1,011,1,19.500000,0,1.250000\n"
                   "1,1,2,011,1,23.418203,1,-0.304518\n"
                   "1,1,1,101,1,23.418203,1,-0.304518\n"
                   "1,1,1,110,1,-0.000000,1,0.000000\n"
                   "4 lines\n"});
  cases.push_back({"multistate",
                   true,
                   "AB",
                   {careers({bb0, a0b})},
                   1,
                   "A0B 1 19.500000 0 1.250000;\n"
                   "BB0 1 23.418203 1 -0.304518;\n"
                   "1,1,1,A0B,1,19.500000,0,1.250000\n"
                   "1,1,1,BB0,1,23.418203,1,-0.304518\n"
                   "2 lines\n"});
  cases.push_back({"tally, no values",
                   false,
                   "",
                   {tally},
                   1,
                   "011       1.0000;\n011       1.0000;\n100       1.0000;\n"
                   "1,1,1,011,1\n1,1,1,011,1\n1,1,1,100,1\n3 lines\n"});
  cases.push_back({"tallies, groups",
                   false,
                   "",
                   {tally, other},
                   2,
                   "011       1.0000       0.0000;\n011       1.0000       0.0000;\n"
                   "011       0.0000       1.0000;\n100       1.0000       0.0000;\n"
                   "1,1,1,011,1\n1,1,1,011,1\n1,1,2,011,1\n1,1,1,100,1\n4 lines\n"});
  cases.push_back({"live-dead",
                   true,
                   "",
                   {careers({sighted, reported})},
                   1,
                   "001001 1 19.500000 0 1.250000;\n"
                   "100200 1 23.418203 1 -0.304518;\n"
                   "1,1,1,001001,1,19.500000,0,1.250000\n"
                   "1,1,1,100200,1,23.418203,1,-0.304518\n"
                   "2 lines\n"});
  cases.push_back({"live-dead tally",
                   false,
                   "",
                   {drawn},
                   1,
                   "001001       1.0000;\n001001       1.0000;\n1,1,1,001001,1\n1,1,1,001001,1\n2 lines\n"});
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    BlockTarget t;
    t.nper = 3;
    t.individual = true;
    t.rows = {&in, c.states, c.mark, std::string_view(c.what).starts_with("live-dead")};
    std::vector<Column> cols;
    for (auto& col : c.cols) std::visit([&cols](auto& rec) { cols.emplace_back(std::move(rec)); }, col);
    EXPECT_EQ(written(t, std::move(cols), c.groups), c.text);
  }
}

// MARK's header of INDIVIDUAL's lines: icovar= counts the values after each history, the
// icovariates line names them after the design's own lines, and hist= is left to be counted.
TEST(Rows, MarkHeaderNamesTheValues) {
  const std::string blanks(kCountField, ' ');
  struct Case {
    const char* etype;
    std::string strata;
    std::string text;
  };
  const Case cases[] = {
      {"Live", "",
       "proc chmatrix occasions=3 groups=1 etype=Live icovar=3 nohist hist=" + blanks +
           "\n   glabel(1)=Group 1;\n   time interval  1 1;\n   icovariates mass sex effect;\n"},
      {"Multistrata", "AB",
       "proc chmatrix occasions=3 groups=1 etype=Multistrata Nodes=101 strata=2 ICMeans icovar=3 NoHist "
       "hist=" +
           blanks +
           "\n   glabel(1)=Group 1;\n   time interval  1 1;\n   strata=A B;\n"
           "   icovariates mass sex effect;\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.etype);
    FileForm f;
    f.lay.markflg = true;
    f.nper = 3;
    f.dim = 8;
    f.mark = {c.etype, {1, 1}, false, c.strata};
    f.mark.title = "individuals";
    f.mark.countLines = f.mark.perAnimal = true;
    f.mark.icovariates = {"mass", "sex", "effect"};
    test::MemFile mem;
    Writer w = makeWriter(mem.fp);
    EXPECT_GT(writeHeaders(w, f), 0);
    closeWriter(w);
    mem.fp = nullptr;  // closed with its writer
    EXPECT_EQ(mem.text(), "proc title individuals;\n" + c.text);
  }
}

}  // namespace plovanet
