// Stochastic runs animal by animal: the order of draws and the chunks are in animals.h, one
// animal's life in life.cpp. Each chunk of a period is drawn into buffers of its own (totals,
// careers, ANIMALS= rows), on any thread, and the buffers are merged into the data set's totals,
// records and log in chunk order.
#include "engine/individual/animals.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/individual/crew.h"
#include "engine/individual/engines.h"
#include "engine/individual/life.h"

namespace plovanet {

namespace {

// Chunks in flight per slot of the crew: enough to keep every thread busy while one is held up.
// A chunk's buffers take up to about 0.75 MiB (INDIVIDUAL values and ANIMALS= rows), so on a
// machine of many cores the window stops at kMaxWindow, or one chunk per slot beyond it.
constexpr std::size_t kChunksPerSlot = 4;
constexpr std::size_t kMaxWindow = 48;

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

// A period's chunks in flight: drawn by every slot of the crew in any order, merged by the caller's
// slot in chunk order. Chunk c is drawn into buffer c % window, so no slot runs more than window
// chunks ahead of the merge, and one slot held up (a busy machine) stalls the others only when
// the window is full.
struct Pipeline {
  explicit Pipeline(std::size_t width) : window(width), done(width, 0) {}
  std::mutex m;
  std::condition_variable changed;  // a chunk drawn or merged, or the end
  std::uint64_t chunks = 0, next = 0, merged = 0;
  std::size_t window;
  std::vector<char> done;  // [c % window]: chunk c drawn, not yet merged
  bool stop = false;       // the log refused its rows, or memory ran out
  bool outOfMemory = false;
};

class Animals final : public Simulation {
 public:
  Animals(const Design& d, Column& col, const DataSet& ds, Stream& rng, Workspace& work, unsigned threads)
      : multistate_(!d.states.empty()),
        life_(d, ds, std::holds_alternative<IndividualRecords>(col), work.animals != nullptr),
        rng_(rng),
        log_(work.animals),
        threads_(std::max(1U, threads)) {
    if (auto* rec = std::get_if<IndividualRecords>(&col)) {
      records_ = rec;
      rec->width = d.indiv.covariates.size() + (d.indiv.heterogeneity ? 1 : 0);
    } else if (auto* t = std::get_if<MultistateTally>(&col)) {
      stateTally_ = &t->tally;
    } else if (auto* ld = std::get_if<LiveDeadRecords>(&col)) {
      stateTally_ = &ld->tally;
    } else {
      tally_ = &std::get<Tally>(col);
    }
  }

  void period(int j, double entrants, Totals& tot) override;
  // Only expected values are checked for what the output file leaves out.
  void addCaptures(const Totals&, double&) const override {}

 private:
  void drawChunk(ChunkOut& out, std::uint64_t c, int j, std::uint64_t firstId) const;
  bool merge(ChunkOut& out, Totals& tot);
  void work(Pipeline& line, bool merger, int j, Totals& tot);

  bool multistate_;
  Life life_;
  Stream& rng_;
  AnimalLog* log_;
  unsigned threads_;
  Tally* tally_ = nullptr;
  StateTally* stateTally_ = nullptr;
  IndividualRecords* records_ = nullptr;
  // The period being drawn: its start of the stream, entrants per state (animals) and ids.
  Stream base_;
  std::vector<std::uint64_t> entrants_;
  std::uint64_t drawn_ = 0;  // animals of the data set so far
  std::string prefix_;
  std::vector<ChunkOut> outs_;
  bool stopped_ = false;
};

void Animals::drawChunk(ChunkOut& out, std::uint64_t c, int j, std::uint64_t firstId) const {
  out.counts.assign(
      kCounts * static_cast<std::size_t>(life_.states()) * static_cast<std::size_t>(life_.occasions()), 0.0);
  out.keys.clear();
  out.values.clear();
  out.text.clear();
  out.outOfMemory = false;
  out.hasSpare = false;
  Stream rng = base_;
  rng.jump(c * kChunkStride);
  std::uint64_t a = c * kChunkAnimals;
  std::uint64_t end = a + kChunkAnimals;
  // The state of animal a: entrants of the states in order.
  int s = 0;
  std::uint64_t before = 0;
  for (std::uint64_t total = 0; s < life_.states(); ++s) {
    total += entrants_[static_cast<std::size_t>(s)];
    if (a < total) break;
    before = total;
  }
  for (; s < life_.states() && a < end; ++s) {
    const std::uint64_t stop = std::min(end, before + entrants_[static_cast<std::size_t>(s)]);
    for (; a < stop; ++a) life_.animal(out, rng, j, s, firstId + a + 1, prefix_);
    before += entrants_[static_cast<std::size_t>(s)];
  }
  // The tally adds equal histories together: sorted here, they are counted in the merge. Keys of
  // 64 bits or fewer take a radix sort, a third of std::sort's time.
  if (records_ != nullptr) return;
  if (life_.keyBits() > 64) {
    std::sort(out.keys.begin(), out.keys.end());
    return;
  }
  out.narrow.resize(out.keys.size());
  for (std::size_t i = 0; i < out.keys.size(); ++i) out.narrow[i] = static_cast<std::uint64_t>(out.keys[i]);
  radixSort(out.narrow, out.spare, life_.keyBits());
}

bool Animals::merge(ChunkOut& out, Totals& tot) {
  for (int s = 0; s < life_.states(); ++s) {
    Totals& ts = multistate_ ? tot.states[static_cast<std::size_t>(s)] : tot;
    for (int k = 0; k < life_.occasions(); ++k) {
      const auto uk = static_cast<std::size_t>(k);
      ts.tcap[uk] += out.counts[life_.countAt(kCap, s, k)];
      ts.talive[uk] += out.counts[life_.countAt(kAlive, s, k)];
      ts.tmark[uk] += out.counts[life_.countAt(kMark, s, k)];
      ts.tnew[uk] += out.counts[life_.countAt(kNew, s, k)];
      ts.tlost[uk] += out.counts[life_.countAt(kLost, s, k)];
      ts.movedIn[uk] += out.counts[life_.countAt(kMovedIn, s, k)];
      ts.died[uk] += out.counts[life_.countAt(kDied, s, k)];
      ts.reported[uk] += out.counts[life_.countAt(kReported, s, k)];
      ts.emigrated[uk] += out.counts[life_.countAt(kEmigrated, s, k)];
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
    if (life_.keyBits() > 64) {
      count(out.keys);
    } else {
      count(out.narrow);
    }
  }
  return log_ == nullptr || log_->write(out.text);
}

// One slot's share of a period: the merger merges the next chunk as soon as it is drawn, and every
// slot draws the next chunk the window has room for. Nothing here throws: memory running out
// stops the line, and the caller throws once every slot has returned.
void Animals::work(Pipeline& line, bool merger, int j, Totals& tot) {
  std::unique_lock lock(line.m);
  for (;;) {
    if (merger && !line.stop && line.merged < line.chunks && line.done[line.merged % line.window] != 0) {
      const std::uint64_t c = line.merged;
      lock.unlock();
      bool merged = false, memory = true;
      try {
        merged = merge(outs_[c % line.window], tot);
      } catch (const std::bad_alloc&) {
        memory = false;
      }
      lock.lock();
      line.done[c % line.window] = 0;
      ++line.merged;
      line.outOfMemory = line.outOfMemory || !memory;
      line.stop = line.stop || !merged;
      line.changed.notify_all();
      continue;
    }
    if (!line.stop && line.next < line.chunks && line.next < line.merged + line.window) {
      const std::uint64_t c = line.next++;
      lock.unlock();
      ChunkOut& out = outs_[c % line.window];
      try {
        drawChunk(out, c, j, drawn_);
      } catch (const std::bad_alloc&) {
        out.outOfMemory = true;
      }
      lock.lock();
      line.done[c % line.window] = 1;
      if (out.outOfMemory) line.outOfMemory = line.stop = true;
      line.changed.notify_all();
      continue;
    }
    if (line.stop || (merger ? line.merged == line.chunks : line.next == line.chunks)) return;
    line.changed.wait(lock);
  }
}

void Animals::period(int j, double entrants, Totals& tot) {
  const auto uj = static_cast<std::size_t>(j);
  entrants_.assign(static_cast<std::size_t>(life_.states()), 0);
  const auto animals = [](double n) { return n >= 1 ? static_cast<std::uint64_t>(std::floor(n)) : 0; };
  if (!multistate_) {
    entrants_[0] = animals(entrants);
  } else {
    if (tot.states.empty())
      tot.states.assign(static_cast<std::size_t>(life_.states()), Totals(life_.occasions()));
    for (int s = 0; s < life_.states(); ++s) {
      const double n = life_.entrants(j, s);
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
    if (log_ != nullptr) prefix_ = log_->prefix();
    Crew crew(static_cast<unsigned>(std::min<std::uint64_t>(threads_, chunks)));
    const std::size_t slots = crew.slots();
    Pipeline line(
        std::min<std::uint64_t>(chunks, std::max(slots, std::min(slots * kChunksPerSlot, kMaxWindow))));
    line.chunks = chunks;
    if (outs_.size() < line.window) outs_.resize(line.window);
    crew.run([&](unsigned slot) { work(line, slot == 0, j, tot); });
    if (line.outOfMemory) throw std::bad_alloc();
    stopped_ = line.stop;
  }
  drawn_ += total;
  rng_.jump(chunks * kChunkStride);
  if (multistate_) sumStates(tot, j);
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
