#include "engine/stream.h"
#include "engine/variates.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "support.h"

namespace plovanet {

// pcg32 written again from its reference (state 0, one step, add the seed, one step; the
// increment is the sequence number * 2 + 1), held to the reference's published outputs for seed
// 42, sequence 54. The program's stream has one fixed sequence, 1442695040888963407 >> 1, and
// must give what this gives for it, all 32 bits and the top 15 that next() keeps.
struct ReferencePcg32 {
  std::uint64_t state = 0, inc;
  ReferencePcg32(std::uint64_t seed, std::uint64_t sequence) : inc(sequence << 1U | 1U) {
    (*this)();
    state += seed;
    (*this)();
  }
  std::uint32_t operator()() {
    const std::uint64_t old = state;
    state = old * 6364136223846793005ULL + inc;
    const auto shifted = static_cast<std::uint32_t>(((old >> 18U) ^ old) >> 27U);
    const auto rot = static_cast<std::uint32_t>(old >> 59U);
    return shifted >> rot | shifted << ((-rot) & 31U);
  }
};

TEST(Stream, Pcg32GivesTheReferenceOutputs) {
  ReferencePcg32 published(42, 54);
  for (std::uint32_t x : {0xa15c02b7U, 0x7b47f409U, 0xba1d3330U, 0x83d2f293U, 0xbfa4784bU, 0xcbed606eU})
    EXPECT_EQ(published(), x);
  for (std::uint32_t seed : {0U, 1U, 42U, 4294967295U}) {
    ReferencePcg32 ref(seed, 721347520444481703ULL);
    Stream rng = seededStream(StreamKind::pcg32, seed);
    for (int i = 0; i < 500; ++i) {
      const std::uint32_t want = ref();
      if (i % 2 == 0) {
        EXPECT_EQ(rng.next32(), want) << seed << " " << i;
      } else {
        EXPECT_EQ(rng.next(), static_cast<int>(want >> 17U)) << seed << " " << i;
      }
    }
  }
}

// Hull-Dobell: an LCG mod 2^k has full period when its increment is odd and its multiplier is
// 1 mod 4. Then the blocks of one seed are disjoint pieces of a single cycle.
static_assert(kClassicIncrement % 2 == 1 && kClassicMultiplier % 4 == 1);
static_assert(kPcgIncrement % 2 == 1 && kPcgMultiplier % 4 == 1);
static_assert(kClassicMaxReplicate * kClassicBlock == std::uint64_t{1} << 31);
static_assert(kPcgMaxReplicate * kPcgBlock == 0 - kPcgMaxReplicate, "2^24 blocks of 2^40 - 1 fit in 2^64");

std::array<int, 8> firstOutputs(Stream rng) {
  std::array<int, 8> out{};
  for (int& x : out) x = rng.next();
  return out;
}

// A replicate's stream is the seed's jumped by whole blocks: the classic jump held to that many
// draws (PCG32's jump is held to its draws by Variates.ExactDrawsAreCountedInTaken).
TEST(Stream, ReplicateStartsWhereTheBlocksBeforeItEnd) {
  struct Case {
    StreamKind kind;
    std::uint32_t seed;
    std::uint64_t rep;
    bool drawAll;  // walk replicate 1 forward draw by draw rather than by jump
  };
  const StreamKind C = StreamKind::classic, P = StreamKind::pcg32;
  // clang-format off
  const Case cases[] = {{C, 7, 1, true}, {C, 1, 2, true}, {C, 99, 3, true}, {C, 5, kClassicMaxReplicate, false},
                        {C, 4294967295U, kClassicMaxReplicate + 1, false},  // wraps
                        {P, 7, 1, true}, {P, 1, 2, false}, {P, 99, 1000, false}, {P, 5, kPcgMaxReplicate, false}};
  // clang-format on
  for (const Case& c : cases) {
    Stream walked = seededStream(c.kind, c.seed);
    const std::uint64_t steps = (c.rep - 1) * blockSize(c.kind);
    if (c.drawAll) {
      for (std::uint64_t i = 0; i < steps; ++i) walked.next();
    } else {
      // in two unequal hops, so a jump that ignored composition would show
      walked.jump(steps / 3);
      walked.jump(steps - steps / 3);
    }
    const Stream rep = replicateStream(c.kind, c.seed, c.rep);
    EXPECT_EQ(rep.taken, 0U);
    EXPECT_EQ(firstOutputs(rep), firstOutputs(walked)) << c.seed << " " << c.rep;
  }
}

// Replicates a power of two apart once began at states that differed only in their top bits and
// gave correlated counts (r = 0.15 at a lag of 2^14 for seed 13). Binomial(100, 0.5) counts of
// replicates r and r + lag: 3000 pairs of PCG32's, all 511 neighbours of the classic generator's.
TEST(Stream, ReplicatesFarApartLookIndependent) {
  struct Case {
    StreamKind kind;
    std::uint64_t pairs, lag;
  };
  const StreamKind C = StreamKind::classic, P = StreamKind::pcg32;
  // clang-format off
  const Case cases[] = {{C, kClassicMaxReplicate - 1, 1}, {P, 3000, 1}, {P, 3000, 1U << 8U},
                        {P, 3000, 1U << 13U}, {P, 3000, 1U << 14U}, {P, 3000, 1U << 20U}};
  // clang-format on
  for (const Case& c : cases) {
    for (std::uint32_t seed : {11U, 12U, 13U}) {
      std::vector<double> first, later;
      for (std::uint64_t r = 1; r <= c.pairs; ++r) {
        Stream a = replicateStream(c.kind, seed, r);
        Stream b = replicateStream(c.kind, seed, r + c.lag);
        first.push_back(binoml(a, Mode::stochastic, 100, 0.5));
        later.push_back(binoml(b, Mode::stochastic, 100, 0.5));
      }
      first.insert(first.end(), later.begin(), later.end());
      EXPECT_NEAR(test::lagCorrelation(first, c.pairs), 0, 4 / std::sqrt(c.pairs - 1.0))
          << seed << " " << c.lag;
    }
  }
}

}  // namespace plovanet
