// Stochastic runs animal by animal: the order of draws and the chunks are in animals.h. Each
// chunk of a period is drawn into buffers of its own (totals, careers, ANIMALS= rows), on any
// thread, and the buffers are merged into the data set's totals, records and log in chunk order.
#include "engine/individual/animals.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <new>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/individual/crew.h"
#include "engine/individual/engines.h"
#include "engine/variates.h"

namespace plovanet {

namespace {

// The counts a chunk adds up, each per state and occasion.
enum Count : std::size_t { kCap, kAlive, kMark, kNew, kLost, kMovedIn, kCounts };

// Chunks drawn in one round per slot of the crew: enough to keep every thread busy while the
// buffers of a round stay small.
constexpr std::size_t kChunksPerSlot = 4;

// exp of an offset held below overflow, as the expected values take it.
double expOf(double offset) {
  return std::exp(std::clamp(offset, -700.0, 700.0));
}

bool chance(Stream& rng, double rate) {
  if (!(rate > 0)) return false;
  if (rate >= 1) return true;
  return unif53(rng) < rate;
}

// chance at the rate moved on the logit scale by e = exp(offset), rate * e / (1 - rate + rate * e)
// (0 and 1 staying so), tested as u * (1 - rate + rate * e) < rate * e: no division in the loop.
bool chance(Stream& rng, double rate, double e) {
  if (e == 1 || !(rate > 0) || !(rate < 1)) return chance(rng, rate);
  const double re = rate * e;
  return unif53(rng) * (1 - rate + re) < re;
}

// The data set's rates laid out by occasion and state ([k * S + s]), an ordinary study being
// one state that is always recorded, with the moves' cumulative shares.
struct Rates {
  int K = 0, S = 1;
  bool thetaflg = false;
  std::vector<double> pa, p2, obs, sa, th;
  std::vector<double> mv;   // [(k * S + s) * S + to], staying filled in
  std::vector<double> cum;  // [(k * S + s) * S + to]: the shares of the states up to to
  std::vector<int> only;    // [k * S + s]: the one state a move reaches, or -1
  std::vector<int> last;    // [k * S + s]: the last state a move reaches
  std::vector<double> n;    // [k * S + s]: entrants

  std::size_t at(int k, int s) const {
    return static_cast<std::size_t>(k) * static_cast<std::size_t>(S) + static_cast<std::size_t>(s);
  }
};

Rates ratesOf(const Design& d, const DataSet& ds) {
  Rates r;
  r.K = d.nper;
  r.thetaflg = d.thetaflg;
  if (d.states.empty()) {
    r.pa = ds.pa;
    r.p2 = ds.p2;
    r.sa = ds.sa;
    r.th = ds.th;
    r.n = ds.n;
    r.obs.assign(r.pa.size(), 1.0);
    r.mv.assign(r.pa.size(), 1.0);
  } else {
    StateTables t(d, ds);
    r.S = t.S;
    r.pa = std::move(t.pa);
    r.p2 = std::move(t.p2);
    r.obs = std::move(t.obs);
    r.sa = std::move(t.sa);
    r.th = std::move(t.th);
    r.mv = std::move(t.mv);
    r.n = std::move(t.n);
  }
  const auto S = static_cast<std::size_t>(r.S);
  r.cum.resize(r.mv.size());
  r.only.assign(r.mv.size() / S, -1);
  r.last.assign(r.mv.size() / S, 0);
  for (std::size_t i = 0; i < r.only.size(); ++i) {
    double sum = 0;
    int positive = 0;
    for (std::size_t to = 0; to < S; ++to) {
      const double m = r.mv[i * S + to];
      if (m > 0) {
        sum += m;
        ++positive;
        r.last[i] = static_cast<int>(to);
      }
      r.cum[i * S + to] = sum;
    }
    // No share at all (only rates that are not numbers): the animal stays, as nothing moves it.
    if (positive <= 1) r.only[i] = positive == 1 ? r.last[i] : static_cast<int>(i % S);
  }
  return r;
}

// What one chunk draws, kept until it is merged. Chunks on other threads write beside it: a cache
// line of its own keeps them from stealing its lines at every career.
struct alignas(64) ChunkOut {
  std::vector<double> counts;                // [(q * S + s) * K + k], q a Count
  std::vector<HistoryKey> keys;              // careers that show a capture, in the order drawn
  std::vector<std::uint64_t> narrow, spare;  // for the tally: keys sorted, when 64 bits hold them
  std::vector<double> values;                // INDIVIDUAL: each career's values
  std::string text;                          // ANIMALS= rows
  bool outOfMemory = false;
};

// Keys below 2^bits into ascending order, 11 bits a pass from the lowest (spare: room for them).
void radixSort(std::vector<std::uint64_t>& keys, std::vector<std::uint64_t>& spare, int bits) {
  constexpr int kDigit = 11;
  spare.resize(keys.size());
  std::array<std::size_t, std::size_t{1} << kDigit> at{};
  for (int low = 0; low < bits; low += kDigit) {
    at.fill(0);
    for (const std::uint64_t k : keys) ++at[(k >> low) & (at.size() - 1)];
    std::size_t sum = 0;
    for (std::size_t& a : at) sum += std::exchange(a, sum);
    for (const std::uint64_t k : keys) spare[at[(k >> low) & (at.size() - 1)]++] = k;
    keys.swap(spare);
  }
}

template <class T>
void appendNumber(std::string& out, T v) {
  std::array<char, 32> buf{};
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v);
  out.append(buf.data(), r.ptr);
}

// A value as "%.6f" writes it (to_chars rounds the double's exact value the same way).
void appendFixed(std::string& out, double v) {
  std::array<char, 400> buf{};
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, 6);
  out.append(buf.data(), r.ptr);
}

class Animals final : public Simulation {
 public:
  Animals(const Design& d, Column& col, const DataSet& ds, Stream& rng, Workspace& work, unsigned threads)
      : d_(d),
        in_(d.indiv),
        r_(ratesOf(d, ds)),
        rng_(rng),
        log_(work.animals),
        threads_(std::max(1U, threads)) {
    if (auto* rec = std::get_if<IndividualRecords>(&col)) {
      records_ = rec;
      rec->width = in_.covariates.size() + (in_.heterogeneity ? 1 : 0);
    } else if (auto* t = std::get_if<MultistateTally>(&col)) {
      stateTally_ = &t->tally;
    } else {
      tally_ = &std::get<Tally>(col);
    }
    if (!d.states.empty()) {
      const Symbols sym(d.states);
      chars_ = sym.chars;
      code_ = sym.code;
      unknown_ = sym.unknown;
      shift_ = 4;
    }
    for (const Covariate& c : in_.covariates) {
      std::vector<double> cum;
      double sum = 0;
      for (const double p : c.probs) cum.push_back(sum += p);
      cumulative_.push_back(std::move(cum));
    }
    moves_ = std::any_of(in_.effects.begin(), in_.effects.end(),
                         [](const Effect& e) { return e.rate == Rate::move; });
  }

  void period(int j, double entrants, Totals& tot) override;
  // Only expected values are checked for what the output file leaves out.
  void addCaptures(const Totals&, double&) const override {}

 private:
  void drawChunk(ChunkOut& out, std::uint64_t c, int j, std::uint64_t firstId) const;
  void animal(ChunkOut& out, Stream& rng, int k0, int s0, std::uint64_t id) const;
  int moveOf(Stream& rng, int k, int s, const double* em) const;
  double covariate(std::size_t i, Stream& rng) const;
  bool merge(ChunkOut& out, Totals& tot);

  std::size_t countAt(Count q, int s, int k) const {
    return (static_cast<std::size_t>(q) * static_cast<std::size_t>(r_.S) + static_cast<std::size_t>(s)) *
               static_cast<std::size_t>(r_.K) +
           static_cast<std::size_t>(k);
  }

  const Design& d_;
  const Individuals& in_;
  Rates r_;
  Stream& rng_;
  AnimalLog* log_;
  unsigned threads_;
  Tally* tally_ = nullptr;
  StateTally* stateTally_ = nullptr;
  IndividualRecords* records_ = nullptr;
  std::string chars_ = "01";
  std::vector<unsigned> code_{1};
  unsigned unknown_ = 1;
  int shift_ = 1;  // bits per occasion in a history key
  std::vector<std::vector<double>> cumulative_;
  bool moves_ = false;
  // The period being drawn: its start of the stream, entrants per state (animals) and ids.
  Stream base_;
  std::vector<std::uint64_t> entrants_;
  std::uint64_t drawn_ = 0;  // animals of the data set so far
  const std::string* prefix_ = nullptr;
  std::vector<ChunkOut> outs_;
  bool stopped_ = false;
};

double Animals::covariate(std::size_t i, Stream& rng) const {
  const Covariate& c = in_.covariates[i];
  switch (c.law) {
    case Law::normal:
      return c.a + c.b * gaussExact(rng);
    case Law::uniform:
      return c.a + (c.b - c.a) * unif53(rng);
    case Law::categories:
      break;
  }
  const std::vector<double>& cum = cumulative_[i];
  const double u = unif53(rng);
  std::size_t v = 0;
  while (v + 1 < cum.size() && !(u < cum[v])) ++v;
  return static_cast<double>(v);
}

int Animals::moveOf(Stream& rng, int k, int s, const double* em) const {
  const std::size_t i = r_.at(k, s);
  if (r_.only[i] >= 0) return r_.only[i];
  const auto S = static_cast<std::size_t>(r_.S);
  const double* mv = &r_.mv[i * S];
  const double* cum = &r_.cum[i * S];
  std::array<double, kMaxStates> shares{};
  // Moves that leave nothing to stay keep their shares, as the expected values take them.
  if (em != nullptr && mv[s] > 0) {
    double sum = 0;
    for (std::size_t to = 0; to < S; ++to) {
      const double m = mv[to] > 0 ? mv[to] : 0;
      shares[to] = sum += static_cast<int>(to) == s ? m : m * em[to];
    }
    cum = shares.data();
  }
  const double u = unif53(rng) * cum[S - 1];
  for (std::size_t to = 0; to < S; ++to) {
    if (u < cum[to]) return static_cast<int>(to);
  }
  return r_.last[i];
}

void Animals::animal(ChunkOut& out, Stream& rng, int k0, int s0, std::uint64_t id) const {
  const std::size_t ncov = in_.covariates.size();
  std::array<double, kMaxCovariates + 1> x{};
  for (std::size_t i = 0; i < ncov; ++i) x[i] = covariate(i, rng);
  const double z = in_.heterogeneity ? gaussExact(rng) : 0;
  const std::array<double, kSigmaRates> off = rateOffsets(in_, std::span<const double>(x.data(), ncov), z);
  const auto eOf = [&off](Rate r) {
    const double o = off[static_cast<std::size_t>(r)];
    return o == 0 ? 1.0 : expOf(o);
  };
  const double ep = eOf(Rate::p), ec = eOf(Rate::c), es = eOf(Rate::survival), er = eOf(Rate::retention);
  const int K = r_.K, S = r_.S;
  // Left unset where unused: clearing them cost 6% of an animal.
  std::array<double, std::size_t{kMaxStates} * kMaxStates> em;
  if (moves_) {
    em.fill(1.0);
    for (const Effect& e : in_.effects) {
      if (e.rate != Rate::move) continue;
      em[static_cast<std::size_t>(e.from) * static_cast<std::size_t>(S) + static_cast<std::size_t>(e.to)] *=
          expOf(e.beta * x[static_cast<std::size_t>(e.covariate)]);
    }
  }
  x[ncov] = z;
  const std::size_t width = ncov + (in_.heterogeneity ? 1 : 0);
  const bool logged = log_ != nullptr;
  std::array<HistoryKey, kMaxOccasions + 1> careers;
  std::size_t ncareers = 0;
  std::array<int, kMaxOccasions> stateAt;
  const auto end = [&](HistoryKey key) {
    if (key != 0) {
      out.keys.push_back(key);
      if (records_ != nullptr)
        out.values.insert(out.values.end(), x.begin(), x.begin() + static_cast<std::ptrdiff_t>(width));
    }
    if (logged) careers[ncareers++] = key;
  };
  double* counts = out.counts.data();
  HistoryKey key = 0;
  int marked = -1;  // occasion of marking (0-based), -1 while unmarked
  int s = s0, k = k0, died = -1;
  for (;; ++k) {
    stateAt[static_cast<std::size_t>(k)] = s;
    const std::size_t i = r_.at(k, s);
    if (marked >= 0) ++counts[countAt(kMark, s, k)];
    if (marked >= 0 ? chance(rng, r_.p2[i], ec) : chance(rng, r_.pa[i], ep)) {
      ++counts[countAt(kCap, s, k)];
      if (marked < 0) {
        ++counts[countAt(kNew, s, k)];
        marked = k;
      }
      const unsigned code = chance(rng, r_.obs[i]) ? code_[static_cast<std::size_t>(s)] : unknown_;
      key |= static_cast<HistoryKey>(code) << (shift_ * (K - 1 - k));
    }
    if (k + 1 >= K) break;
    if (!chance(rng, r_.sa[i], es)) {
      died = k;
      break;
    }
    const bool lost = marked >= 0 && !chance(rng, r_.th[r_.at(r_.thetaflg ? k : k - marked, s)], er);
    const int to =
        S == 1 ? 0
               : moveOf(rng, k, s,
                        moves_ ? &em[static_cast<std::size_t>(s) * static_cast<std::size_t>(S)] : nullptr);
    ++counts[countAt(kAlive, to, k + 1)];
    if (to != s) ++counts[countAt(kMovedIn, to, k + 1)];
    if (lost) {
      ++counts[countAt(kLost, to, k + 1)];
      end(key);
      key = 0;
      marked = -1;
    }
    s = to;
  }
  end(key);
  if (!logged) return;
  std::string& t = out.text;
  t += *prefix_;
  appendNumber(t, id);
  t += ',';
  appendNumber(t, k0 + 1);
  t += ',';
  for (std::size_t c = 0; c < ncov; ++c) {
    if (in_.covariates[c].law == Law::categories) {
      appendNumber(t, static_cast<int>(x[c]));
    } else {
      appendFixed(t, x[c]);
    }
    t += ',';
  }
  if (in_.heterogeneity) {
    appendFixed(t, z);
    t += ',';
  }
  if (died >= 0) appendNumber(t, died + 1);
  t += ',';
  if (!d_.states.empty()) {
    for (int o = 0; o < K; ++o) {
      if (o >= k0 && o <= k) t += d_.states[static_cast<std::size_t>(stateAt[static_cast<std::size_t>(o)])];
      t += ',';
    }
  }
  for (std::size_t c = 0; c < ncareers; ++c) {
    if (c > 0) t += '|';
    const auto mask = (HistoryKey{1} << shift_) - 1;
    for (int o = 0; o < K; ++o)
      t += chars_[static_cast<std::size_t>((careers[c] >> (shift_ * (K - 1 - o))) & mask)];
  }
  t += '\n';
}

void Animals::drawChunk(ChunkOut& out, std::uint64_t c, int j, std::uint64_t firstId) const {
  out.counts.assign(kCounts * static_cast<std::size_t>(r_.S) * static_cast<std::size_t>(r_.K), 0.0);
  out.keys.clear();
  out.values.clear();
  out.text.clear();
  out.outOfMemory = false;
  Stream rng = base_;
  rng.jump(c * kChunkStride);
  std::uint64_t a = c * kChunkAnimals;
  std::uint64_t end = a + kChunkAnimals;
  // The state of animal a: entrants of the states in order.
  int s = 0;
  std::uint64_t before = 0;
  for (std::uint64_t total = 0; s < r_.S; ++s) {
    total += entrants_[static_cast<std::size_t>(s)];
    if (a < total) break;
    before = total;
  }
  for (; s < r_.S && a < end; ++s) {
    const std::uint64_t stop = std::min(end, before + entrants_[static_cast<std::size_t>(s)]);
    for (; a < stop; ++a) animal(out, rng, j, s, firstId + a + 1);
    before += entrants_[static_cast<std::size_t>(s)];
  }
  // The tally adds equal histories together: sorted here, they are counted in the merge. Keys of
  // 64 bits or fewer take a radix sort, a third of std::sort's time.
  if (records_ != nullptr) return;
  if (shift_ * r_.K > 64) {
    std::sort(out.keys.begin(), out.keys.end());
    return;
  }
  out.narrow.resize(out.keys.size());
  for (std::size_t i = 0; i < out.keys.size(); ++i) out.narrow[i] = static_cast<std::uint64_t>(out.keys[i]);
  radixSort(out.narrow, out.spare, shift_ * r_.K);
}

bool Animals::merge(ChunkOut& out, Totals& tot) {
  for (int s = 0; s < r_.S; ++s) {
    Totals& ts = d_.states.empty() ? tot : tot.states[static_cast<std::size_t>(s)];
    for (int k = 0; k < r_.K; ++k) {
      const auto uk = static_cast<std::size_t>(k);
      ts.tcap[uk] += out.counts[countAt(kCap, s, k)];
      ts.talive[uk] += out.counts[countAt(kAlive, s, k)];
      ts.tmark[uk] += out.counts[countAt(kMark, s, k)];
      ts.tnew[uk] += out.counts[countAt(kNew, s, k)];
      ts.tlost[uk] += out.counts[countAt(kLost, s, k)];
      ts.movedIn[uk] += out.counts[countAt(kMovedIn, s, k)];
    }
  }
  if (records_ != nullptr) {
    records_->keys.insert(records_->keys.end(), out.keys.begin(), out.keys.end());
    records_->values.insert(records_->values.end(), out.values.begin(), out.values.end());
  } else {
    const auto count = [this](const auto& keys) {
      for (std::size_t i = 0; i < keys.size();) {
        std::size_t e = i;
        while (e < keys.size() && keys[e] == keys[i]) ++e;
        const auto n = static_cast<double>(e - i);
        if (tally_ != nullptr) {
          tallyAdd(*tally_, static_cast<int>(keys[i]), n);
        } else {
          tallyAdd(*stateTally_, static_cast<HistoryKey>(keys[i]), n);
        }
        i = e;
      }
    };
    if (shift_ * r_.K > 64) {
      count(out.keys);
    } else {
      count(out.narrow);
    }
  }
  return log_ == nullptr || log_->write(out.text);
}

void Animals::period(int j, double entrants, Totals& tot) {
  const auto uj = static_cast<std::size_t>(j);
  entrants_.assign(static_cast<std::size_t>(r_.S), 0);
  const auto animals = [](double n) { return n >= 1 ? static_cast<std::uint64_t>(std::floor(n)) : 0; };
  if (d_.states.empty()) {
    entrants_[0] = animals(entrants);
  } else {
    if (tot.states.empty()) tot.states.assign(static_cast<std::size_t>(r_.S), Totals(r_.K));
    for (int s = 0; s < r_.S; ++s) {
      const double n = r_.n[r_.at(j, s)];
      tot.states[static_cast<std::size_t>(s)].n[uj] += n;
      tot.states[static_cast<std::size_t>(s)].talive[uj] += n;
      entrants_[static_cast<std::size_t>(s)] = animals(n);
    }
  }
  std::uint64_t total = 0;
  for (const std::uint64_t n : entrants_) total += n;
  const std::uint64_t chunks = (total + kChunkAnimals - 1) / kChunkAnimals;
  if (!stopped_ && chunks > 0) {
    base_ = rng_;
    if (log_ != nullptr) prefix_ = &log_->prefix();
    Crew crew(static_cast<unsigned>(std::min<std::uint64_t>(threads_, chunks)));
    const std::size_t round = std::min<std::uint64_t>(chunks, crew.slots() * kChunksPerSlot);
    if (outs_.size() < round) outs_.resize(round);
    for (std::uint64_t first = 0; first < chunks && !stopped_; first += round) {
      const std::size_t count = std::min<std::uint64_t>(round, chunks - first);
      std::atomic<std::size_t> next{0};
      crew.run([&](unsigned) {
        for (std::size_t i = next++; i < count; i = next++) {
          try {
            drawChunk(outs_[i], first + i, j, drawn_);
          } catch (const std::bad_alloc&) {
            outs_[i].outOfMemory = true;
          }
        }
      });
      for (std::size_t i = 0; i < count && !stopped_; ++i) {
        if (outs_[i].outOfMemory) throw std::bad_alloc();
        stopped_ = !merge(outs_[i], tot);
      }
    }
  }
  drawn_ += total;
  rng_.jump(chunks * kChunkStride);
  if (!d_.states.empty()) sumStates(tot, j);
}

}  // namespace

std::unique_ptr<Simulation> animalSimulationOn(const Design& d, Column& col, const DataSet& ds, Stream& rng,
                                               Workspace& work, unsigned threads) {
  return std::make_unique<Animals>(d, col, ds, rng, work, threads);
}

std::unique_ptr<Simulation> animalSimulation(const Design& d, Column& col, const DataSet& ds, Stream& rng,
                                             Workspace& work) {
  return animalSimulationOn(d, col, ds, rng, work, std::thread::hardware_concurrency());
}

}  // namespace plovanet
