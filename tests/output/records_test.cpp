#include "output/records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "output/trailers.h"
#include "support.h"

namespace plovanet {

namespace {

// One file as a run writes it: header, the records of every group, trailers.
std::string file(const Layouts& lay, int nper, const std::vector<std::vector<double>>& groups) {
  RunState rs;
  EXPECT_TRUE(allocateState(rs, nper, static_cast<int>(groups.size())));
  for (std::size_t g = 0; g < groups.size(); ++g)
    std::copy(groups[g].begin(), groups[g].end(), rs.row(static_cast<int>(g)));
  test::MemFile mem;
  Writer w = makeWriter(mem.fp);
  writeHeaders(w, lay, nper, rs.dim, static_cast<int>(groups.size()));
  Sink sink{&w, lay.captflg, nullptr, {}, nper, static_cast<int>(groups.size())};
  if (groups.size() == 1) writeRecordBlock(sink, rs.row(0), nper);
  std::vector<const double*> rows;
  for (int g = 0; g < rs.mxgrps; ++g) rows.push_back(rs.row(g));
  if (groups.size() > 1) writeGroupTable(sink, rows);
  writeTrailers(w, lay, nper, static_cast<int>(groups.size()));
  flush(w);
  return mem.text();
}

std::string expected(const std::string& name) {
  std::ifstream f(std::string(PLOVANET_TESTS_DIR) + "/output/expected/" + name);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
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

// The MARK file's group-dependent lines at the smallest nper, where m = 0 leaves empty matrices
// and m = 1 one-number ones; no frequency above the threshold, so header and block meet.
TEST(Records, MarkFileForEachNumberOfGroups) {
  struct Case {
    int nper, groups;
    const char* text;
  };
  const std::string title = "proc title exp value data w/ het.;\n";
  const std::string estimate = "proc estimate link=Sin NOLOOP varest=2ndPart ;\nmodel={Phi(t) p(t) };\n";
  const Case cases[] = {
      {1, 1,
       "proc chmatrix occasions=1 groups=1 etype=Live hist=2 nohist;\n   glabel(1)=Group 1;\n"
       "   time interval ;\n"
       "@   fixed=1;\n   parm(0)=1;\n   group=1 Phi rows=0 cols=0 Triang;\n"
       "   group=1 p rows=0 cols=0 Triang;\n   design matrix constraints=0 covariates=0 identity;\n"},
      {1, 2,
       "proc chmatrix occasions=1 groups=2 etype=Live hist=2 nohist;\n   glabel(1)=Group 1;\n"
       "   glabel(2)=Group 2;\n   time interval ;\n"
       "@   fixed=2;\n   parm(0)=1;\n   parm(0)=1;\n   group=1 Phi rows=0 cols=0 Triang;\n"
       "   group=2 Phi rows=0 cols=0 Triang;\n   group=1 p rows=0 cols=0 Triang;\n"
       "   group=2 p rows=0 cols=0 Triang;\n   design matrix constraints=0 covariates=0 identity;\n"},
      {2, 1,
       "proc chmatrix occasions=2 groups=1 etype=Live hist=4 nohist;\n   glabel(1)=Group 1;\n"
       "   time interval  1;\n"
       "@   fixed=1;\n   parm(1)=1;\n   group=1 Phi rows=1 cols=1 Triang;\n   1;\n"
       "   group=1 p rows=1 cols=1 Triang;\n   2;\n   design matrix constraints=2 covariates=2 identity;\n"
       "   blabel(1)=Phi;\n   blabel(2)=p;\n   rlabel(1)=Phi;\n   rlabel(2)=p;\n"},
      {2, 3,
       "proc chmatrix occasions=2 groups=3 etype=Live hist=4 nohist;\n   glabel(1)=Group 1;\n"
       "   glabel(2)=Group 2;\n   glabel(3)=Group 3;\n   time interval  1;\n"
       "@   fixed=3;\n   parm(1)=1;\n   parm(2)=1;\n   parm(3)=1;\n"
       "   group=1 Phi rows=1 cols=1 Triang;\n   1;\n   group=2 Phi rows=1 cols=1 Triang;\n   2;\n"
       "   group=3 Phi rows=1 cols=1 Triang;\n   3;\n   group=1 p rows=1 cols=1 Triang;\n   4;\n"
       "   group=2 p rows=1 cols=1 Triang;\n   5;\n   group=3 p rows=1 cols=1 Triang;\n   6;\n"
       "   design matrix constraints=6 covariates=6 identity;\n"
       "   blabel(1)=Phi;\n   blabel(2)=Phi;\n   blabel(3)=Phi;\n   blabel(4)=p;\n   blabel(5)=p;\n"
       "   blabel(6)=p;\n   rlabel(1)=Phi;\n   rlabel(2)=Phi;\n   rlabel(3)=Phi;\n   rlabel(4)=p;\n"
       "   rlabel(5)=p;\n   rlabel(6)=p;\n"},
  };
  for (const Case& c : cases) {
    std::string want = title + c.text + "proc stop;\n";
    want.replace(want.find('@'), 1, estimate);
    const std::vector<std::vector<double>> empty(static_cast<std::size_t>(c.groups));
    EXPECT_EQ(file({0, 0, 1}, c.nper, empty), want) << "nper " << c.nper << ", groups " << c.groups;
  }
}

}  // namespace plovanet
