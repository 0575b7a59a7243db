// The engines of individual animals, as the model of a design with individual settings runs
// them (see individual.h).
#pragma once

#include <memory>

#include "engine/model.h"

namespace plovanet {

// Expected values: the data set at every node, each through the base model's own simulation
// into the same column. Null, with the reason in why, when one of them cannot be simulated.
std::unique_ptr<Simulation> mixtureSimulation(const Model& base, Column& col, const DataSet& ds, Stream& rng,
                                              Workspace& work, Shortfall& why);

// The stochastic simulation of a data set animal by animal, adding its careers to col (the base
// model's tally, or IndividualRecords) and its totals as the batch engines do, and every animal
// to work's animal log when there is one. Draws from the exact engine only.
std::unique_ptr<Simulation> animalSimulation(const Design& d, Column& col, const DataSet& ds, Stream& rng,
                                             Workspace& work);

// The design's model with its individual settings: expected values by mixtureSimulation over
// base's simulation, stochastic runs by animalSimulation; everything else as base says.
std::unique_ptr<Model> individualModel(std::unique_ptr<Model> base);

}  // namespace plovanet
