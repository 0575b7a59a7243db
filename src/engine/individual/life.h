// One animal's life as the animal engine draws it (animals.h gives the order of draws): the data
// set's rates laid out for it, and the animal followed from its entry to the last occasion, its
// careers, counts and ANIMALS= row going into the buffers of the chunk it belongs to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/model.h"

namespace plovanet {

// The counts a chunk adds up, each per state and occasion.
// kDied, kReported, kEmigrated: a live-dead study's, over the interval after the occasion.
enum LifeCount : std::size_t {
  kCap,
  kAlive,
  kMark,
  kNew,
  kLost,
  kMovedIn,
  kDied,
  kReported,
  kEmigrated,
  kCounts
};

// What one chunk draws, kept until it is merged. Chunks on other threads write beside it: a cache
// line of its own keeps them from stealing its lines at every career.
struct alignas(64) ChunkOut {
  std::vector<double> counts;                // [(q * S + s) * K + k], q a LifeCount
  std::vector<HistoryKey> keys;              // careers that show a capture, in the order drawn
  std::vector<std::uint64_t> narrow, spare;  // for the tally: keys sorted, when 64 bits hold them
  std::vector<double> values;                // INDIVIDUAL: each career's values
  std::string text;                          // ANIMALS= rows
  bool outOfMemory = false;
  // The polar method gives two normals at a time: the second waits here for the chunk's next
  // normal value.
  double spareNormal = 0;
  bool hasSpare = false;
};

// The data set's rates laid out by occasion and state ([k * S + s]), an ordinary study being
// one state that is always recorded, with the moves' cumulative shares.
struct LifeRates {
  int K = 0, S = 1;
  bool thetaflg = false;
  std::vector<double> pa, p2, obs, sa, th;
  std::vector<double> mv;   // [(k * S + s) * S + to], staying filled in
  std::vector<double> cum;  // [(k * S + s) * S + to]: the shares of the states up to to
  std::vector<int> only;    // [k * S + s]: the one state a move reaches, or -1
  std::vector<int> last;    // [k * S + s]: the last state a move reaches
  std::vector<double> n;    // [k * S + s]: entrants
  // A live-dead study's report, fidelity, resight, resight_dead and return (DataSet's).
  std::vector<double> rr, fid, rs, rsd, ret;

  std::size_t at(int k, int s) const {
    return static_cast<std::size_t>(k) * static_cast<std::size_t>(S) + static_cast<std::size_t>(s);
  }
};

class Life {
 public:
  // records: each career keeps its values (INDIVIDUAL); logged: each animal gets its row.
  Life(const Design& d, const DataSet& ds, bool records, bool logged);

  int occasions() const { return r_.K; }
  int states() const { return r_.S; }
  // Bits of a history key: 1 per occasion, 4 in a multistate study, 2 per character (two an
  // occasion) in a live-dead study.
  int keyBits() const { return shift_ * width_; }
  // Entrants of state s (0 in an ordinary study) at period j, as given.
  double entrants(int j, int s) const { return r_.n[r_.at(j, s)]; }
  std::size_t countAt(LifeCount q, int s, int k) const {
    return (static_cast<std::size_t>(q) * static_cast<std::size_t>(r_.S) + static_cast<std::size_t>(s)) *
               static_cast<std::size_t>(r_.K) +
           static_cast<std::size_t>(k);
  }

  // The animal id, entering at occasion k0 (0-based) in state s0, drawn from rng: its careers and
  // counts into out and, when logged, its row after prefix.
  void animal(ChunkOut& out, Stream& rng, int k0, int s0, std::uint64_t id, const std::string& prefix) const;

 private:
  double covariate(std::size_t i, ChunkOut& out, Stream& rng) const;
  int moveOf(Stream& rng, int k, int s, const double* em) const;
  // A live-dead animal from occasion k0 on: its careers through end, its counts into counts.
  // Returns the occasion of its death, or -1.
  template <class End>
  int liveDead(Stream& rng, int k0, double ep, double ec, double es, double er, double* counts,
               End end) const;

  const Design& d_;
  const Individuals& in_;
  LifeRates r_;
  bool records_, logged_;
  std::string chars_ = "01";
  std::vector<unsigned> code_{1};
  unsigned unknown_ = 1;
  int shift_ = 1;  // bits per character in a history key
  int width_ = 0;  // characters of a history
  Encounters encounters_ = Encounters::none;
  std::vector<std::vector<double>> cumulative_;  // [i]: categories' cumulative probabilities
  bool moves_ = false;
};

}  // namespace plovanet
