#include "engine/ordinary/caphis.h"

namespace plovanet {

namespace {

struct TallySink {
  Tally& t;
  void add(int h, double x) const { tallyAdd(t, h, x); }
};

}  // namespace

void caphis(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Tally& t, Batch b,
            std::optional<int> markedAt) {
  TallySink sink{t};
  caphisInto(d, ds, tot, rng, sink, b, markedAt);
}

}  // namespace plovanet
