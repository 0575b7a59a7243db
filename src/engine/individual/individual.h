// Individual animals: each animal draws its covariates (and its random effect z) once, when it
// enters, and its rates at every occasion are the data set's moved on the logit scale:
//   logit(rate') = logit(rate) + sum of beta * covariate + sigma * z,
// a rate of exactly 0 or 1 staying so. Moves out of a state move on the multinomial logit scale
// (each move's log-odds against staying), so that they still add up to at most 1.
//
// Expected values integrate the histories' frequencies over the animals' values: the data set at
// each node of a product quadrature (Gauss-Hermite for normal laws and z, Gauss-Legendre for
// uniform ones, the categories themselves), its entrants scaled by the node's weight, simulated
// by the design's own model. Stochastic runs follow one animal at a time.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/multistate/multistate.h"
#include "engine/state.h"
#include "engine/stream.h"

namespace plovanet {

// ---- Quadrature and the rates at given values ----

// One point of the product quadrature: its weight (the weights add up to 1), a value for every
// covariate (those without an effect hold their mean: they move no rate) and z.
struct Node {
  double weight = 1;
  std::vector<double> x;
  double z = 0;
};

// The nodes over every covariate that has an effect and over z when heterogeneity is set, each
// normal or uniform dimension with `perDimension` nodes (0: the default), nodes of negligible
// weight left out and the rest's weights still adding up to 1.
std::vector<Node> quadratureNodes(const Design& d, int perDimension);

// How many nodes quadratureNodes gives at most (the product of the dimensions' counts), without
// making them; and the most an expected-value run may take (each node is a data set simulated
// on its own: some 10 KiB and its share of every history's sum).
double quadratureSize(const Design& d, int perDimension);
inline constexpr double kMaxQuadratureNodes = 20000;

// The offsets on the logit scale of p, c, survival and retention (indexed by Rate) of an animal
// with covariates x and random effect z.
std::array<double, kSigmaRates> rateOffsets(const Individuals& in, std::span<const double> x, double z);

// The data set an animal with the covariates and random effect of `at` sees: every rate moved as
// above, and the entrants (of every state) scaled by its weight.
DataSet ratesAt(const Design& d, const DataSet& ds, const Node& at);

// ---- Stochastic runs, animal by animal ----

// A stochastic run's careers of caught animals, kept when the output file has one row per career
// (INDIVIDUAL): the history's key (an ordinary history's bits, or a multistate key) and its
// values (the covariates, then z when heterogeneity is set), in the order drawn.
struct IndividualRecords {
  std::size_t width = 0;  // values per career
  std::vector<HistoryKey> keys;
  std::vector<double> values;
};

// Where ANIMALS= rows go as a stochastic run draws them: whole CSV lines, in animal order.
class AnimalLog {
 public:
  virtual ~AnimalLog() = default;
  // The values that begin each row of the data set being simulated ("rep,dataset,group,").
  virtual const std::string& prefix() const = 0;
  // False when the file cannot take them; the run then ends with the log's fault.
  virtual bool write(std::string_view lines) = 0;
};

}  // namespace plovanet
