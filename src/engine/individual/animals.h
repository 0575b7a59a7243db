// Stochastic runs animal by animal: each animal entering at a period is followed alone through
// its whole life to the last occasion, as the batch recursions (ordinary/caphis.h,
// multistate/recursion.cpp) follow a batch of one, at rates moved by its own values.
//
// The draws of one animal, in this order, from the stream of its chunk (below):
//   1. its covariates in the order given: normal, mean + sd * z0 (below); uniform,
//      low + (high - low) * unif53; categories, the first value whose cumulative probability
//      exceeds one unif53 (the last takes what rounding leaves);
//   2. z, a standard normal z0, when heterogeneity is set;
//   3. at each occasion k from its entry, in the state it is in: capture (c once marked, else p);
//      when caught, whether its state is recorded (observe; else 'U'); then, before the last
//      occasion, survival over interval k; tag retention when it carries a tag (by the tag's
//      age, or by interval with THETA=TIME); and in a multistate study the move, one unif53
//      against the cumulative shares of the states in order (staying included).
// Standard normals z0 come from the polar method (Marsaglia), two at a time: x f and y f of one
// accepted pair, the second kept for the chunk's next normal value, whichever animal draws it
// (each chunk begins without one).
// Every choice is unif53 < rate at the animal's rate; a rate of 0 or less, or 1 or more, is
// decided without a draw (never, or always), and so is a move with one possible state. An
// animal that loses its tag and survives starts a new, unmarked career with an empty history
// and keeps its values.
//
// Chunks. A period's entrants (an ordinary study's floor(entrants); a multistate study's floor
// of each state's entrants, states in order) are cut into chunks of kChunkAnimals in the order
// they are drawn. Chunk c draws from a copy of the data set's stream jumped c * kChunkStride
// outputs, and the data set's stream then jumps past every chunk of the period. An animal
// takes at most 10 outputs per occasion (5 uniforms) and 2 per uniform or categorical covariate;
// a normal value takes 4 per try of the polar method, which succeeds with probability pi/4. So
// 30 occasions and 11 normal values leave a chunk at least 2.9 million outputs for some 57
// thousand expected tries: crossing into the next chunk's outputs would take a run of
// rejections far beyond anything that happens. The results depend on the chunk size, never on
// the number of threads that draw the chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/model.h"

namespace plovanet {

inline constexpr std::size_t kChunkAnimals = 4096;
inline constexpr std::uint64_t kChunkStride = std::uint64_t{1} << 22;  // outputs: 1024 per animal

// animalSimulation drawing the chunks of each period on `threads` threads (at least one).
std::unique_ptr<Simulation> animalSimulationOn(const Design& d, Column& col, const DataSet& ds, Stream& rng,
                                               Workspace& work, unsigned threads);

}  // namespace plovanet
