#include "engine/model.h"

#include "engine/individual/engines.h"

namespace plovanet {

Shortfall ensureRow(OrdinaryRecords& rec, int nper, std::size_t limit) {
  if (rec.row) return Shortfall::none;
  const std::size_t dim = std::size_t{1} << nper;
  if (dim * sizeof(double) > limit) return Shortfall::rowTooLarge;
  rec.row = allocArray(dim);
  return rec.row ? Shortfall::none : Shortfall::rowOutOfMemory;
}

std::vector<EchoLine> Model::echo(const DataSet& used) const {
  const auto K = static_cast<std::size_t>(d_.nper);
  const auto intervals = std::span<const double>::size_type(periods() - 1);
  std::vector<EchoLine> lines{{"srv=", std::span<const double>(used.sa).first(intervals)},
                              {"theta=", std::span<const double>(used.th).first(intervals)},
                              {"p=", std::span<const double>(used.pa).first(K)},
                              {"c=", std::span<const double>(used.p2).first(K)}};
  for (EchoLine& e : moreEcho(used)) lines.push_back(std::move(e));
  return lines;
}

namespace {

std::unique_ptr<Model> baseModel(const Design& d) {
  if (d.nprim > 0) return robustModel(d);
  if (!d.states.empty()) return multistateModel(d);
  if (d.encounters != Encounters::none) return liveDeadModel(d);
  return ordinaryModel(d);
}

}  // namespace

std::unique_ptr<Model> makeModel(const Design& d) {
  if (d.indiv.active() || d.indiv.rows) return individualModel(baseModel(d));
  return baseModel(d);
}

}  // namespace plovanet
