#include "output/records.h"

#include <gtest/gtest.h>

#include <cmath>

#include "output/trailers.h"
#include "support.h"

namespace plovanet {

namespace {

// One file as the run writes it: header, the records of every group, trailers.
std::string file(const Layouts& lay, int nper, const std::vector<std::vector<double>>& groups) {
  RunState rs;
  EXPECT_TRUE(allocateState(rs, nper, static_cast<int>(groups.size())));
  for (std::size_t g = 0; g < groups.size(); ++g) {
    for (std::size_t h = 0; h < groups[g].size(); ++h) rs.row(static_cast<int>(g))[h] = groups[g][h];
  }
  test::MemFile mem;
  Writer w = makeWriter(mem.fp);
  writeHeaders(w, lay, nper, rs.dim);
  if (groups.size() == 1) {
    writeRecordBlock(w, lay.captflg, rs);
  } else {
    writeGroupTable(w, rs);
  }
  writeTrailers(w, lay, nper);
  flush(w);
  return mem.text();
}

const std::vector<double> kExample1 = {40.0, 12.5, 0.00004, 3.25, 7.0, 0.0, 0.4, 1.875};

const char* const kMarkTrailer3 =
    "proc estimate link=Sin NOLOOP varest=2ndPart ;\nmodel={Phi(t) p(t) };\n   fixed=1;\n   parm(2)=1;\n"
    "   group=1 Phi rows=2 cols=2 Triang;\n   1   2;\n   2;\n   group=1 p rows=2 cols=2 Triang;\n   3   4;\n"
    "   4;\n   design matrix constraints=4 covariates=4 identity;\n   blabel(1)=Phi;\n   blabel(2)=Phi;\n"
    "   blabel(3)=p;\n   blabel(4)=p;\n   rlabel(1)=Phi;\n   rlabel(2)=Phi;\n   rlabel(3)=p;\n   rlabel(4)=p;\n"
    "proc stop;\n";

const char* const kRecords1 =
    "001      12.5000;\n011       3.2500;\n100       7.0000;\n110       0.4000;\n111       1.8750;\n";

}  // namespace

TEST(Records, WholeFilesOfEachLayout) {
  struct Case {
    Layouts lay;
    int nper;
    std::vector<std::vector<double>> groups;
    std::string want;
  };
  const Case cases[] = {
      {{0, 0, 1}, 3, {kExample1},
       std::string("proc title exp value data w/ het.;\n"
                   "proc chmatrix occasions=3 groups=1 etype=Live hist=8 nohist;\n   glabel(1)=Group 1;\n"
                   "   time interval  1 1;\n") + kRecords1 + kMarkTrailer3},
      {{1, 0, 0}, 3, {kExample1}, std::string("TITLE=SIMULATED DATA\nPERIODS=3\nFORMAT=(3I1,I6)\n") + kRecords1},
      {{0, 1, 0}, 3, {{20.0, 2.5, 0, 0.4, 1.0, 0, 0, 0.00005}},
       "title='simulated data'\ntask read captures occasions=3 x matrix\nformat='(a8,1x,3f1.0)'\n"
       "read input data\n00010001 001       2.5000;\n00010002 001       2.5000;\n00010003 001       2.5000;\n"
       "00040001 100       1.0000;\ntask closure test\ntask model selection\n"
       "task population estimate NULL JACKKNIFE MT\n"},
      {{0, 1, 0}, 3, {kExample1, {0, 2.0, 0.00002, 0, 1.5, 0, 0, 0.6}},
       "title='simulated data'\ntask read captures occasions=3 x matrix\nformat='(a8,1x,3f1.0)'\n"
       "read input data\n001      12.5000       2.0000;\n010       0.0000       0.0000;\n"
       "011       3.2500       0.0000;\n100       7.0000       1.5000;\n110       0.4000       0.0000;\n"
       "111       1.8750       0.6000;\ntask closure test\ntask model selection\n"
       "task population estimate NULL JACKKNIFE MT\n"},
      {{0, 0, 1}, 1, {{5, 2}},
       "proc title exp value data w/ het.;\nproc chmatrix occasions=1 groups=1 etype=Live hist=2 nohist;\n"
       "   glabel(1)=Group 1;\n   time interval ;\n1       2.0000;\n"
       "proc estimate link=Sin NOLOOP varest=2ndPart ;\nmodel={Phi(t) p(t) };\n   fixed=1;\n   parm(0)=1;\n"
       "   group=1 Phi rows=0 cols=0 Triang;\n   group=1 p rows=0 cols=0 Triang;\n"
       "   design matrix constraints=0 covariates=0 identity;\nproc stop;\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(file(c.lay, c.nper, c.groups), c.want);
}

TEST(Records, ThresholdAndCaptureIdentifiers) {
  std::vector<double> row(1 << 14, 0.0);
  row[12345] = 1.0;
  row[1] = 5e-05;
  row[2] = std::nextafter(5e-05, 1.0);
  row[3] = NAN;
  row[0] = 99;
  const std::string t = file({0, 1, 0}, 14, {row});
  EXPECT_EQ(t.substr(t.find("read input data\n") + 16),
            "123450001 11000000111001       1.0000;\ntask closure test\ntask model selection\n"
            "task population estimate NULL JACKKNIFE MT\n");
  EXPECT_EQ(file({}, 2, {{0, 0.5, 0.3, 0}}), "01       0.5000;\n10       0.3000;\n");
}

TEST(Records, MarkTrailerForFourOccasions) {
  const std::string t = file({0, 0, 1}, 4, {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}});
  EXPECT_NE(t.find("   parm(3)=1;\n   group=1 Phi rows=3 cols=3 Triang;\n   1   2   3;\n   2   3;\n   3;\n"
                   "   group=1 p rows=3 cols=3 Triang;\n   4   5   6;\n   5   6;\n   6;\n"
                   "   design matrix constraints=6 covariates=6 identity;\n"),
            std::string::npos);
  EXPECT_NE(t.find("   rlabel(3)=Phi;\n   rlabel(4)=p;\n   rlabel(5)=p;\n   rlabel(6)=p;\nproc stop;\n"),
            std::string::npos);
}

}  // namespace plovanet
