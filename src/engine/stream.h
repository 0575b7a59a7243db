// The random stream: 15-bit integers 0 to 32767 from a 32-bit linear congruential generator
// (the C standard's portable example), so a seed gives the same run on every platform.
#pragma once

#include <cstdint>

namespace plovanet {

struct Stream {
  std::uint32_t state = 1;
  std::uint64_t taken = 0;  // integers drawn so far; lets tests check what each variate consumes

  int next() {
    state = state * 1103515245U + 12345U;
    ++taken;
    return static_cast<int>((state >> 16) & 0x7FFFU);
  }
};

inline Stream seededStream(std::uint32_t seed) {
  return Stream{seed, 0};
}

// The seed a run uses: SEED= as an unsigned value, or the clock when it is the sentinel 12345.
std::uint32_t runSeed(std::int32_t seed);

}  // namespace plovanet
