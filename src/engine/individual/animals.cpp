#include "engine/individual/engines.h"

namespace plovanet {

std::unique_ptr<Simulation> animalSimulation(const Design&, Column&, const DataSet&, Stream&, Workspace&) {
  return nullptr;
}

}  // namespace plovanet
