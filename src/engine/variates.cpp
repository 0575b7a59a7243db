#include "engine/variates.h"

namespace plovanet {

double unorm(Stream& rng, int determ, double mean, double sd) {
  double z = -6.0;
  for (int i = 0; i < 12; ++i) z += unif(rng);
  double v = z * sd + mean;
  if (determ == 0) v = std::floor(v + 0.5);
  return v;
}

double poissonLarge(Stream& rng, double lambda) {
  double z = -6.0;
  for (int i = 0; i < 12; ++i) z += unif(rng);
  return std::floor(lambda + std::sqrt(lambda) * z + 0.5);
}

}  // namespace plovanet
