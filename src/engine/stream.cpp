#include "engine/stream.h"

#include <ctime>

namespace plovanet {

std::uint32_t runSeed(std::int32_t seed) {
  if (seed == 12345) return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr)));
  return static_cast<std::uint32_t>(seed);
}

}  // namespace plovanet
