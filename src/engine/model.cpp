#include "engine/model.h"

namespace plovanet {

Shortfall ensureRow(OrdinaryRecords& rec, int nper, std::size_t limit) {
  if (rec.row) return Shortfall::none;
  const std::size_t dim = std::size_t{1} << nper;
  if (dim * sizeof(double) > limit) return Shortfall::rowTooLarge;
  rec.row = allocArray(dim);
  return rec.row ? Shortfall::none : Shortfall::rowOutOfMemory;
}

std::unique_ptr<Model> makeModel(const Design& d) {
  if (d.nprim > 0) return robustModel(d);
  return ordinaryModel(d);
}

}  // namespace plovanet
