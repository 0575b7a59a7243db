// Micro-benchmarks of the hot paths: the binomial variate in each of its branches (classic and
// exact engine), the pooled expected-value engine, the closed-form engine and its history walk,
// the recursion (stochastic into a dense row or a tally, and expected-value for comparison with
// the other engines), expected values integrated over a random effect, and the record writer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/individual/animals.h"
#include "engine/model.h"
#include "engine/ordinary/caphis.h"
#include "engine/ordinary/closed_form.h"
#include "engine/ordinary/pooled.h"
#include "engine/robust/robust.h"
#include "engine/state.h"
#include "engine/stream.h"
#include "engine/variates.h"
#include "hand_study.h"
#include "output/records.h"
#include "output/writer.h"

using namespace plovanet;

namespace {

// binoml(n, p) in stochastic mode; the arguments pick the branch.
void binomlBranch(benchmark::State& state, double n, double p) {
  Stream rng = seededStream(7);
  for (auto _ : state) benchmark::DoNotOptimize(binoml(rng, Mode::stochastic, n, p));
  state.counters["uniforms/call"] =
      benchmark::Counter(static_cast<double>(rng.taken), benchmark::Counter::kAvgIterations);
}
BENCHMARK_CAPTURE(binomlBranch, direct_n100, 100.0, 0.3);
BENCHMARK_CAPTURE(binomlBranch, normal_n1e5, 1e5, 0.3);
BENCHMARK_CAPTURE(binomlBranch, waiting_n1000_p002, 1000.0, 0.02);
BENCHMARK_CAPTURE(binomlBranch, waiting_n1e4_p098, 1e4, 0.98);

// binoml(n, p) on the exact engine (RNG=PCG), against binomlBranch with the same arguments:
// inversion below a mean of 10, BTRD above. The outputs/call counter counts 32-bit outputs (two
// per uniform).
void binomlExactEngine(benchmark::State& state, double n, double p) {
  Stream rng = seededStream(StreamKind::pcg32, 7);
  for (auto _ : state) benchmark::DoNotOptimize(binoml(rng, Mode::stochastic, n, p));
  state.counters["outputs/call"] =
      benchmark::Counter(static_cast<double>(rng.taken), benchmark::Counter::kAvgIterations);
}
BENCHMARK_CAPTURE(binomlExactEngine, inversion_n10_p05, 10.0, 0.5);
BENCHMARK_CAPTURE(binomlBranch, direct_n10_p05, 10.0, 0.5);
BENCHMARK_CAPTURE(binomlExactEngine, btrd_n100, 100.0, 0.3);
BENCHMARK_CAPTURE(binomlExactEngine, btrd_n1e5, 1e5, 0.3);
BENCHMARK_CAPTURE(binomlExactEngine, btrd_n1000_p002, 1000.0, 0.02);
BENCHMARK_CAPTURE(binomlExactEngine, btrd_n1e4_p098, 1e4, 0.98);
BENCHMARK_CAPTURE(binomlExactEngine, btrd_n1e15_p03, 1e15, 0.3);

// One data set as the scenarios use it: 10^6 entrants at occasion 1 and 10^5 at every later
// occasion, survival 0.9, p = c = 0.5, tag retention th everywhere.
Design makeDesign(int nper, bool determ) {
  Design d;
  d.nper = nper;
  d.dim = 1 << nper;
  d.determ = determ;
  return d;
}

DataSet makeDataSet(int nper, double s, double th, double p) {
  DataSet ds = blankDataSet(nper);
  std::fill(ds.pa.begin(), ds.pa.end(), p);
  std::fill(ds.p2.begin(), ds.p2.end(), p);
  std::fill(ds.sa.begin(), ds.sa.end(), s);
  std::fill(ds.th.begin(), ds.th.end(), th);
  return ds;
}

// The same with a dense history row, for the engines that fill one (a row of 2^nper doubles:
// not for the 30-occasion walks).
test::HandStudy makeHandStudy(int nper, bool determ, double s, double th, double p) {
  test::HandStudy hs(nper, 1, determ);
  hs.ds = makeDataSet(nper, s, th, p);
  return hs;
}

double entrants(int j) {
  return j == 0 ? 1e6 : 1e5;
}

void clearTotals(Totals& tot) {
  for (std::vector<double>* v : {&tot.tcap, &tot.talive, &tot.tmark, &tot.tnew, &tot.tlost, &tot.tin})
    std::fill(v->begin(), v->end(), 0.0);
}

void clearDataSet(test::HandStudy& hs) {
  std::fill_n(hs.row(0), hs.d.dim, 0.0);
  clearTotals(hs.tot);
}

// Args: nper, tag retention in percent.
void levelsDataSet(benchmark::State& state) {
  const int nper = static_cast<int>(state.range(0));
  test::HandStudy hs = makeHandStudy(nper, true, 0.9, static_cast<double>(state.range(1)) / 100, 0.5);
  Levels lv;
  if (!levelsAllocate(lv, nper)) std::abort();
  for (auto _ : state) {
    clearDataSet(hs);
    for (int j = 0; j < nper; ++j) levelsOccasion(lv, hs.d, hs.ds, hs.tot, j + 1, entrants(j), hs.row(0));
    benchmark::DoNotOptimize(hs.row(0)[1]);
  }
  state.SetItemsProcessed(state.iterations() * hs.d.dim);  // histories per second
}
BENCHMARK(levelsDataSet)->ArgsProduct({{16, 20}, {100, 90}})->Unit(benchmark::kMillisecond);

// The reference recursion on the same data set, expected-value mode, th = 1.
void caphisExpected(benchmark::State& state) {
  const int nper = static_cast<int>(state.range(0));
  test::HandStudy hs = makeHandStudy(nper, true, 0.9, 1.0, 0.5);
  Stream rng = seededStream(7);
  for (auto _ : state) {
    clearDataSet(hs);
    for (int j = 0; j < nper; ++j) test::caphisRow(hs, rng, 0, entrants(j), j + 1);
    benchmark::DoNotOptimize(hs.row(0)[1]);
  }
  state.SetItemsProcessed(state.iterations() * hs.d.dim);
}
BENCHMARK(caphisExpected)->Arg(16)->Unit(benchmark::kMillisecond);

// One stochastic cohort of 10^4 animals entering at occasion 1 of 12; Arg 0 the classic engine,
// 1 the exact one.
void caphisStochastic(benchmark::State& state) {
  test::HandStudy hs = makeHandStudy(12, false, 0.8, 0.9, 0.3);
  Stream rng = seededStream(state.range(0) == 0 ? StreamKind::classic : StreamKind::pcg32, 7);
  for (auto _ : state) {
    clearDataSet(hs);
    test::caphisRow(hs, rng, 0, 1e4, 1);
    benchmark::DoNotOptimize(hs.row(0)[0]);
  }
  state.counters["uniforms/cohort"] =
      benchmark::Counter(static_cast<double>(rng.taken), benchmark::Counter::kAvgIterations);
}
BENCHMARK(caphisStochastic)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same cohort into a sparse tally instead of a dense row (merged at the end).
void caphisTally(benchmark::State& state) {
  const Design d = makeDesign(12, false);
  const DataSet ds = makeDataSet(12, 0.8, 0.9, 0.3);
  Totals tot(d.nper);
  Stream rng = seededStream(7);
  Tally t;
  for (auto _ : state) {
    clearTotals(tot);
    tallyClear(t);
    caphis(d, ds, tot, rng, t, {0, 1e4, 1}, std::nullopt);
    benchmark::DoNotOptimize(tallyHistories(t).size());
  }
  state.counters["uniforms/cohort"] =
      benchmark::Counter(static_cast<double>(rng.taken), benchmark::Counter::kAvgIterations);
}
BENCHMARK(caphisTally)->Unit(benchmark::kMillisecond);

struct Study3 {
  Design d;
  DataSet ds;
};

constexpr auto noRecord = [](int, const char*, const double*) { return true; };

// One data set through the closed-form engine, occasion by occasion, then the walk over its
// records with a callback that does nothing; items_per_second = records/s.
void cohortsWalk(benchmark::State& state, int nper, double (*entering)(int), double s, double th, double p) {
  const Design d = makeDesign(nper, true);
  const DataSet ds = makeDataSet(nper, s, th, p);
  Totals tot(nper);
  Cohorts c;
  WalkStats st;
  const std::vector<std::vector<const Cohorts*>> cols{{&c}};
  for (auto _ : state) {
    clearTotals(tot);
    for (int j = 0; j < nper; ++j) cohortsOccasion(c, d, ds, tot, j + 1, entering(j));
    walkHistories(cols, 5e-05, noRecord, &st);
  }
  state.counters["records"] = static_cast<double>(st.records);
  state.counters["nodes"] = static_cast<double>(st.nodes);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(st.records));
}

// A realistic study: 1000 animals at occasion 1, 100 entrants later, s 0.8, th 0.95, p = c = 0.3.
double fewEntrants(int j) {
  return j == 0 ? 1000 : 100;
}

// The dense scenario, every one of the 2^24 histories above the threshold.
BENCHMARK_CAPTURE(cohortsWalk, dense24_th100, 24, entrants, 0.9, 1.0, 0.5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(cohortsWalk, dense24_th90, 24, entrants, 0.9, 0.9, 0.5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(cohortsWalk, realistic20, 20, fewEntrants, 0.8, 0.95, 0.3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(cohortsWalk, realistic30, 30, fewEntrants, 0.8, 0.95, 0.3)->Unit(benchmark::kMillisecond);

// The robust design of the same population at K = 30: 10 primaries of 3 secondaries, Markovian
// emigration (0.3 out, 0.5 staying out), against realistic30 above.
void robustWalk(benchmark::State& state) {
  const int P = 10, K = 30;
  Design d = makeDesign(K, true);
  d.nprim = P;
  d.sec.assign(P, 3);
  DataSet ds = makeDataSet(K, 0.8, 0.95, 0.3);
  for (std::size_t i = 0; i < std::size_t{P}; ++i) ds.em[i] = 0.3, ds.ro[i] = 0.5;
  Totals tot(K);
  RobustCohorts c;
  WalkStats st;
  const std::vector<std::vector<const RobustCohorts*>> cols{{&c}};
  for (auto _ : state) {
    clearTotals(tot);
    for (int i = 0; i < P; ++i) robustOccasion(c, d, ds, tot, i + 1, fewEntrants(i));
    walkRobust(cols, 5e-05, noRecord, &st);
  }
  state.counters["records"] = static_cast<double>(st.records);
  state.counters["nodes"] = static_cast<double>(st.nodes);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(st.records));
}
BENCHMARK(robustWalk)->Unit(benchmark::kMillisecond);

// A multistate study of three states at K = 20: 1000 animals entering each state at occasion
// 1 and 100 later, s 0.8, th 0.95, p = c = 0.3, each state moving to each other with 0.1; in
// expected values (walk) or drawn with the exact engine (arg: animals at occasion 1 per state,
// later ones a tenth). Against cohortsWalk/realistic20 and caphisTally per record.
Study3 multistate3(bool determ, double first) {
  constexpr int K = 20, S = 3;
  Study3 st;
  st.d = makeDesign(K, determ);
  st.d.states = "ABC";
  st.ds = makeDataSet(K, 0.8, 0.95, 0.3);
  for (int s = 0; s < S; ++s) {
    StateRates r = blankStateRates(K, std::size_t{S});
    for (std::size_t k = 0; k < std::size_t{K}; ++k) {
      r.n[k] = k == 0 ? first : first / 10;
      r.pa[k] = r.p2[k] = 0.3;
      if (k + 1 == std::size_t{K}) continue;
      r.sa[k] = 0.8;
      r.th[k] = 0.95;
      for (int to = 0; to < S; ++to) r.move[static_cast<std::size_t>(to)][k] = to == s ? 0 : 0.1;
    }
    st.ds.st.push_back(r);
  }
  for (std::size_t k = 0; k < std::size_t{K}; ++k) st.ds.n[k] = 3 * (k == 0 ? first : first / 10);
  return st;
}

// One data set through the model's simulation and its records' walk; records/s.
void modelRun(benchmark::State& state, const Study3& st) {
  const auto model = makeModel(st.d);
  const int K = st.d.nper;
  std::uint64_t records = 0;
  WalkStats stats;
  for (auto _ : state) {
    Column col = model->column();
    Workspace work;
    Shortfall why = Shortfall::none;
    Stream rng = replicateStream(StreamKind::pcg32, 7, 1);
    Totals tot(K);
    auto sim = model->simulate(col, st.ds, rng, work, why);
    for (int j = 0; j < K; ++j) sim->period(j, st.ds.n[static_cast<std::size_t>(j)], tot);
    records = 0;
    const auto count = [&records](int, const char*, const double*) { return ++records, true; };
    if (auto* rec = std::get_if<MultistateRecords>(&col))
      walkMultistate({{&rec->sources[0]}}, rec->sym, 5e-05, count, &stats);
    if (auto* t = std::get_if<MultistateTally>(&col)) walkStateTallies({&t->tally}, K, t->sym, 5e-05, count);
    if (auto* t = std::get_if<Tally>(&col)) walkTallies({t}, K, 5e-05, count);
    if (auto* rec = std::get_if<OrdinaryRecords>(&col)) walkHistories({{&rec->sources[0]}}, 5e-05, count);
  }
  state.counters["records"] = static_cast<double>(records);
  state.counters["nodes"] = static_cast<double>(stats.nodes);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(records));
}

// Three states against the same population as one state of the ordinary model (args: states,
// expected values or not, animals at occasion 1 per state).
void multistate(benchmark::State& state) {
  Study3 st = multistate3(state.range(1) != 0, static_cast<double>(state.range(2)));
  if (state.range(0) == 1) {
    st.d.states.clear();
    st.ds.st.clear();
  }
  modelRun(state, st);
}
BENCHMARK(multistate)->Args({3, 1, 1000})->Args({1, 1, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(multistate)->Args({3, 0, 100000})->Args({1, 0, 100000})->Unit(benchmark::kMillisecond);
BENCHMARK(multistate)
    ->Name("multistateSlow")
    ->Args({3, 0, 3333333})
    ->Args({1, 0, 3333333})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// GROUPS=4: four realistic data sets at 30 occasions, one column each, walked together.
void cohortsWalkGroups(benchmark::State& state) {
  const int nper = 30;
  const Design d = makeDesign(nper, true);
  DataSet ds = makeDataSet(nper, 0.8, 0.95, 0.3);
  Totals tot(nper);
  Cohorts c[4];
  WalkStats st;
  const std::vector<std::vector<const Cohorts*>> cols{{&c[0]}, {&c[1]}, {&c[2]}, {&c[3]}};
  for (auto _ : state) {
    for (int g = 0; g < 4; ++g) {
      ds.sa[0] = 0.8 - 0.05 * g;  // the groups differ a little
      clearTotals(tot);
      for (int j = 0; j < nper; ++j) cohortsOccasion(c[g], d, ds, tot, j + 1, fewEntrants(j));
    }
    walkHistories(cols, 5e-05, noRecord, &st);
  }
  state.counters["records"] = static_cast<double>(st.records);
  state.counters["nodes"] = static_cast<double>(st.nodes);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(st.records));
}
BENCHMARK(cohortsWalkGroups)->Unit(benchmark::kMillisecond);

// Expected values of the realistic 20-occasion study with a random effect of sigma arg/10 on p and
// c, integrated over the default quadrature nodes, walked over every node's source; arg 0 is the
// plain study (one source). records/s, against each other per record.
void mixture(benchmark::State& state) {
  constexpr int K = 20;
  Design d = makeDesign(K, true);
  d.indiv.heterogeneity = state.range(0) > 0;
  d.indiv.sigma[0] = d.indiv.sigma[1] = static_cast<double>(state.range(0)) / 10;
  DataSet ds = makeDataSet(K, 0.8, 0.95, 0.3);
  for (int j = 0; j < K; ++j) ds.n[static_cast<std::size_t>(j)] = fewEntrants(j);
  const auto model = makeModel(d);
  WalkStats st;
  std::size_t sources = 0;
  for (auto _ : state) {
    Column col = model->column();
    Workspace work;
    Shortfall why = Shortfall::none;
    Stream rng;
    Totals tot(K);
    auto sim = model->simulate(col, ds, rng, work, why);
    for (int j = 0; j < K; ++j) {
      tot.talive[static_cast<std::size_t>(j)] += ds.n[static_cast<std::size_t>(j)];
      sim->period(j, ds.n[static_cast<std::size_t>(j)], tot);
    }
    std::vector<const Cohorts*> src;
    for (const Cohorts& c : std::get<OrdinaryRecords>(col).sources) src.push_back(&c);
    sources = src.size();
    walkHistories({src}, 5e-05, noRecord, &st);
  }
  state.counters["records"] = static_cast<double>(st.records);
  state.counters["sources"] = static_cast<double>(sources);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(st.records));
}
BENCHMARK(mixture)->Arg(0)->Arg(5)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// The literal recursion on the realistic study, for the ratio to cohortsWalk/realistic20. With
// tag loss its calls grow about 3.4-fold per occasion (2.3e10 at 20 occasions, minutes), so the
// 20-occasion case runs once and is left out of the smoke test (filter "-Slow").
void caphisRealistic(benchmark::State& state) {
  const int nper = static_cast<int>(state.range(0));
  test::HandStudy hs = makeHandStudy(nper, true, 0.8, 0.95, 0.3);
  Stream rng = seededStream(7);
  for (auto _ : state) {
    clearDataSet(hs);
    for (int j = 0; j < nper; ++j) test::caphisRow(hs, rng, 0, fewEntrants(j), j + 1);
    benchmark::DoNotOptimize(hs.row(0)[1]);
  }
}
BENCHMARK(caphisRealistic)->Arg(12)->Arg(14)->Unit(benchmark::kMillisecond);
BENCHMARK(caphisRealistic)->Name("caphisRealisticSlow")->Arg(20)->Iterations(1)->Unit(benchmark::kSecond);

// The animal-by-animal engine on the design bench/individuals.R simulates in R: K = 20, N / 20
// animals entering at every occasion, s 0.8, th 0.9 by the tag's age, p = c = 0.4; mass
// ~ normal(5, 1) moving p by 0.5 per unit, sex ~ categories(0.5, 0.5) moving survival by -0.4,
// and a random effect of sigma 1 on p and c. Args: threads, N. items: animal-occasions from each
// animal's entry to the last occasion.
void animals(benchmark::State& state) {
  constexpr int K = 20;
  Design d = makeDesign(K, false);
  d.indiv.covariates = {{"mass", Law::normal, 5, 1, {}}, {"sex", Law::categories, 0, 0, {0.5, 0.5}}};
  d.indiv.effects = {{Rate::p, 0, 0, 0, 0.5}, {Rate::survival, 0, 0, 1, -0.4}};
  d.indiv.sigma = {1, 1, 0, 0};
  d.indiv.heterogeneity = true;
  DataSet ds = makeDataSet(K, 0.8, 0.9, 0.4);
  const double per = static_cast<double>(state.range(1)) / K;
  std::fill(ds.n.begin(), ds.n.end(), per);
  double animalOccasions = 0;
  for (int j = 0; j < K; ++j) animalOccasions += per * (K - j);
  for (auto _ : state) {
    Column col = Tally{};
    Workspace work;
    Stream rng = replicateStream(StreamKind::pcg32, 7, 1);
    Totals tot(K);
    auto sim = animalSimulationOn(d, col, ds, rng, work, static_cast<unsigned>(state.range(0)));
    for (int j = 0; j < K; ++j) sim->period(j, per, tot);
    benchmark::DoNotOptimize(tallyHistories(std::get<Tally>(col)).size());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(animalOccasions));
}
BENCHMARK(animals)->Args({1, 100000})->Args({2, 100000})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(animals)
    ->Name("animalsSlow")
    ->Args({1, 1000000})
    ->Args({2, 1000000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The record block of a full nper = 20 table (every history above the threshold) to /dev/null.
void recordBlock(benchmark::State& state) {
  std::vector<double> full(std::size_t{1} << 20);
  double* row = full.data();
  for (std::size_t h = 0; h < full.size(); ++h) row[h] = 0.001 + static_cast<double>(h % 100003) * 0.731;

  // Bytes of one block, counted once in memory.
  char* mem = nullptr;
  std::size_t bytes = 0;
  Writer m = makeWriter(open_memstream(&mem, &bytes));
  Sink counted{&m, 0, nullptr, {}, 20, 1};
  writeRecordBlock(counted, row, 20);
  closeWriter(m);
  std::free(mem);

  std::FILE* fp = std::fopen("/dev/null", "w");
  if (fp == nullptr) std::abort();
  std::setvbuf(fp, nullptr, _IONBF, 0);  // as the program opens its output file
  Writer w = makeWriter(fp);
  Sink sink{&w, 0, nullptr, {}, 20, 1};
  for (auto _ : state) {
    writeRecordBlock(sink, row, 20);
    flush(w);
  }
  closeWriter(w);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}
BENCHMARK(recordBlock)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
