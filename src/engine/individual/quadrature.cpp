#include "engine/individual/individual.h"

namespace plovanet {

std::vector<Node> quadratureNodes(const Design&, int) { return {Node{}}; }

DataSet ratesAt(const Design&, const DataSet& ds, std::span<const double>, double, double) { return ds; }

}  // namespace plovanet
