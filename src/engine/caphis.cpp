#include "engine/caphis.h"

namespace plovanet {

namespace {

struct TallySink {
  Tally& t;
  void add(int h, double x) const { tallyAdd(t, h, x); }
};

}  // namespace

void caphis(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Tally& t, int hist, double x,
            int occ, int mark) {
  TallySink sink{t};
  caphisInto(d, ds, tot, rng, sink, hist, x, occ, mark);
}

}  // namespace plovanet
