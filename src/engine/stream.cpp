#include "engine/stream.h"

namespace plovanet {

namespace {

// One step of an LCG: x -> mult * x + plus.
template <typename U>
struct Affine {
  U mult, plus;
};

// The step applied `steps` times to x, as one affine map, by composing the maps for 1, 2, 4, ...
// steps (square-and-multiply). Unsigned arithmetic wraps mod 2^bits as the LCG does.
template <typename U>
U advance(U x, Affine<U> step, std::uint64_t steps) {
  U mult = step.mult, plus = step.plus;
  U accMult = 1;
  U accPlus = 0;
  while (steps > 0) {
    if ((steps & 1U) != 0) {
      accMult = static_cast<U>(accMult * mult);
      accPlus = static_cast<U>(accPlus * mult + plus);
    }
    plus = static_cast<U>((mult + 1U) * plus);
    mult = static_cast<U>(mult * mult);
    steps >>= 1U;
  }
  return static_cast<U>(accMult * x + accPlus);
}

}  // namespace

void Stream::jump(std::uint64_t steps) {
  if (kind == StreamKind::classic) {
    state = advance<std::uint32_t>(state, {kClassicMultiplier, kClassicIncrement}, steps);
  } else {
    wide = advance<std::uint64_t>(wide, {kPcgMultiplier, kPcgIncrement}, steps);
  }
  taken += steps;
}

Stream seededStream(StreamKind kind, std::uint32_t seed) {
  if (kind == StreamKind::classic) return seededStream(seed);
  Stream rng{1, StreamKind::pcg32, 0, 0};
  rng.wide = rng.wide * kPcgMultiplier + kPcgIncrement;
  rng.wide += seed;
  rng.wide = rng.wide * kPcgMultiplier + kPcgIncrement;
  return rng;
}

Stream replicateStream(StreamKind kind, std::uint32_t seed, std::uint64_t rep) {
  Stream rng = seededStream(kind, seed);
  rng.jump((rep - 1U) * blockSize(kind));
  rng.taken = 0;
  return rng;
}

std::uint32_t runSeed(std::int32_t seed) {
  return static_cast<std::uint32_t>(seed);
}

}  // namespace plovanet
