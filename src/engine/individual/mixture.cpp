#include "engine/individual/engines.h"

namespace plovanet {

std::unique_ptr<Simulation> mixtureSimulation(const Model& base, Column& col, const DataSet& ds, Stream& rng,
                                              Workspace& work, Shortfall& why) {
  return base.simulate(col, ds, rng, work, why);
}

}  // namespace plovanet
