// The random stream: 15-bit integers 0 to 32767 from one of two generators, so a seed gives the
// same run on every platform.
//
// - classic (the default): the C standard's portable 32-bit linear congruential generator,
//   state = state * 1103515245 + 12345 mod 2^32, output bits 16..30 of the new state. Its
//   outputs repeat every 2^31 draws (see kClassicMaxReplicate). seededStream(seed) is this
//   generator and stays what every earlier run drew.
// - pcg32: a 64-bit LCG (multiplier 6364136223846793005, fixed odd increment
//   1442695040888963407) with the XSH-RR output function, 32-bit outputs (next() gives their top
//   15 bits; the exact engine in variates.h uses all 32). Period 2^64. Seeded as the reference pcg32 seeds:
//   state = 0, one step, add the seed, one step.
//
// Replicates. Replicate r (1-based) of seed s starts at position (r - 1) * blockSize(kind) of the
// sequence the seeded generator gives, so its stream depends only on the seed and r, replicate 1
// is the seeded stream itself, and replicates do not overlap while each one draws at most
// blockSize(kind) outputs (pastBlock tells run control when one has drawn more). Both
// generators are full-period LCGs, so the blocks of one seed are disjoint pieces of one cycle
// (for classic, of the 2^31 cycle of its lower 31 state bits, which alone make its outputs).
// Classic replicates are a weak family all the same: the low 22 state bits repeat every 2^22
// draws, so at the same position every replicate's integer has the same low 6 bits and they
// differ only in the top 9. Studies that lean on replicates being independent should use pcg32.
#pragma once

#include <cstdint>

namespace plovanet {

enum class StreamKind : std::uint8_t { classic, pcg32 };

inline constexpr std::uint32_t kClassicMultiplier = 1103515245U;
inline constexpr std::uint32_t kClassicIncrement = 12345U;
inline constexpr std::uint64_t kPcgMultiplier = 6364136223846793005ULL;
inline constexpr std::uint64_t kPcgIncrement = 1442695040888963407ULL;

// Draws per replicate: 2^22 classic, 2^40 - 1 pcg32 (2^24 replicates fit its 2^64 cycle). The
// classic state has period 2^32, but its top bit never reaches the output or the lower bits:
// the states half a cycle apart differ only in that bit and give the same integers forever. So
// its outputs repeat every 2^31 draws, and 512 blocks, not 1024, fill them.
inline constexpr std::uint64_t kClassicBlock = std::uint64_t{1} << 22;
// The pcg32 block is odd on purpose. Two states of one LCG d steps apart differ by a number with
// as many trailing zero bits as d has, and that difference only changes by the multiplier as both
// go on: with a block of 2^40, replicates 2^13 apart began 2^53 steps apart, differed in their top
// 11 state bits alone, and their counts were correlated (r = 0.15 at a lag of 2^14 replicates).
// With an odd block, replicates an odd number apart differ in every state bit from the lowest.
inline constexpr std::uint64_t kPcgBlock = (std::uint64_t{1} << 40) - 1;
inline constexpr std::uint64_t kClassicMaxReplicate = std::uint64_t{1} << 9;
inline constexpr std::uint64_t kPcgMaxReplicate = std::uint64_t{1} << 24;

struct Stream {
  std::uint32_t state = 1;  // classic generator
  StreamKind kind = StreamKind::classic;
  std::uint64_t wide = 0;   // pcg32 generator
  std::uint64_t taken = 0;  // outputs drawn so far (pcg32: 32-bit outputs, two per uniform)

  // The next 15-bit integer of either generator.
  int next() {
    if (kind == StreamKind::classic) return nextClassic();
    return static_cast<int>(next32() >> 17U);
  }

  // The classic generator's next integer, for callers that know the kind.
  int nextClassic() {
    ++taken;
    state = state * kClassicMultiplier + kClassicIncrement;
    return static_cast<int>((state >> 16) & 0x7FFFU);
  }

  // pcg32's whole 32-bit output (kind pcg32 only): the exact engine's raw material.
  std::uint32_t next32() {
    ++taken;
    const std::uint64_t old = wide;
    wide = old * kPcgMultiplier + kPcgIncrement;
    const auto xorshifted = static_cast<std::uint32_t>(((old >> 18U) ^ old) >> 27U);
    const auto rot = static_cast<unsigned>(old >> 59U);
    return (xorshifted >> rot) | (xorshifted << ((32U - rot) & 31U));
  }

  // Moves the stream as `steps` calls of next() would (taken included), in O(log steps).
  void jump(std::uint64_t steps);
};

inline Stream seededStream(std::uint32_t seed) {
  return Stream{seed, StreamKind::classic, 0, 0};
}

// The seeded generator of either kind, before its first draw (classic: seededStream(seed)).
Stream seededStream(StreamKind kind, std::uint32_t seed);

// Replicate rep (1 to maxReplicate(kind)) of the seed: the seeded stream advanced
// (rep - 1) * blockSize(kind) draws, with taken = 0. Outside that range the position wraps
// around the generator's cycle.
Stream replicateStream(StreamKind kind, std::uint32_t seed, std::uint64_t rep);

constexpr std::uint64_t blockSize(StreamKind kind) {
  return kind == StreamKind::classic ? kClassicBlock : kPcgBlock;
}

constexpr std::uint64_t maxReplicate(StreamKind kind) {
  return kind == StreamKind::classic ? kClassicMaxReplicate : kPcgMaxReplicate;
}

// True once a replicate's stream has drawn into the next replicate's block; run control asks
// after each data set, since the stream carries on from one data set to the next.
inline bool pastBlock(const Stream& rng) {
  return rng.taken > blockSize(rng.kind);
}

// The seed SEED= gives, as an unsigned value. The sentinel 12345 (the clock) is run control's
// (clockSeed), so an engine, a test or a fuzz target never reads the clock.
std::uint32_t runSeed(std::int32_t seed);

}  // namespace plovanet
