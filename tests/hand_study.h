// A study built by hand for the engines' tests, the benchmarks and the fuzzers: the design, one
// data set, its totals and the dense history table nx (a row of 2^nper per group) that the
// recursion can fill, the reference the sparse tally and the expected-value engines are held to.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/ordinary/caphis.h"
#include "engine/state.h"

namespace plovanet::test {

struct HandStudy {
  explicit HandStudy(int nper, int rows = 1, bool determ = true)
      : ds(blankDataSet(nper)), tot(nper), groups(rows) {
    d.nper = nper;
    d.dim = 1 << nper;
    d.determ = determ;
    nx.assign(static_cast<std::size_t>(rows) << nper, 0.0);
  }
  double* row(int g) { return nx.data() + (static_cast<std::size_t>(g) << d.nper); }

  Design d;
  DataSet ds;
  Totals tot;
  int groups;
  std::vector<double> nx;  // groups rows of 2^nper: careers of group g ending with history h
};

// The recursion of a cohort of x unmarked entrants at occasion occ, every ending career added
// into row g of the table.
inline void caphisRow(HandStudy& s, Stream& rng, int g, double x, int occ) {
  struct RowSink {
    double* nx;
    void add(int h, double v) const { nx[h] += v; }
  } sink{s.row(g)};
  caphisInto(s.d, s.ds, s.tot, rng, sink, {0, x, occ}, std::nullopt);
}

}  // namespace plovanet::test
