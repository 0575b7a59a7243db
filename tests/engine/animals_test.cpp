// Stochastic runs animal by animal: the mean histories and totals of many seeded runs against the
// expected values of the design's own model (summed over the categories of a covariate, each at
// the rates ratesAt gives it), the same draws on any number of threads, and the careers of an
// animal that loses its tag.
#include "engine/individual/animals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "draws.h"
#include "records.h"

namespace plovanet {

namespace {

using test::Records;  // histories and totals ("tcap 3", "talive 2 B")

struct Study {
  const char* name;
  Design d;
  DataSet ds;
};

// An ordinary study of 5 occasions: entrants at three of them, tag loss by age, p and c apart.
Study ordinary(const char* name) {
  Study st{name, {}, blankDataSet(5)};
  st.d.nper = 5;
  st.d.dim = 32;
  st.ds.n = {60, 25, 0, 30, 0};
  st.ds.sa = {0.8, 0.7, 0.9, 0.75, 0};
  st.ds.th = {0.9, 0.8, 0.7, 0.6, 0};
  st.ds.pa = {0.3, 0.5, 0.4, 0.6, 0.5};
  st.ds.p2 = {0.6, 0.3, 0.5, 0.4, 0.7};
  return st;
}

// Three states over 4 occasions: moves, a state recorded with 0.7, tag loss by interval.
Study multistate(const char* name) {
  Study st{name, {}, blankDataSet(4)};
  st.d.nper = 4;
  st.d.dim = 16;
  st.d.states = "ABC";
  st.d.thetaflg = true;
  for (std::size_t s = 0; s < 3; ++s) {
    StateRates r = blankStateRates(4, 3);
    r.n = {40.0 - 10.0 * static_cast<double>(s), 10, 0, 5};
    r.sa = {0.8, 0.7 + 0.1 * static_cast<double>(s), 0.85, 0};
    r.th = {0.9, 0.8, 0.95, 1};
    r.pa = {0.4, 0.5, 0.3 + 0.2 * static_cast<double>(s), 0.6};
    r.p2 = {0.5, 0.4, 0.6, 0.5};
    if (s == 1) r.obs = {0.7, 0.7, 0.7, 0.7};
    for (std::size_t to = 0; to < 3; ++to) {
      if (to != s) r.move[to] = {0.2, 0.1 * static_cast<double>(to + 1), 0.15, 0};
    }
    st.ds.st.push_back(r);
  }
  for (const StateRates& r : st.ds.st) {
    for (std::size_t k = 0; k < 4; ++k) st.ds.n[k] += r.n[k];
  }
  return st;
}

// A covariate of three categories moving p and survival (and in a multistate study a move).
Study withCategories(Study st) {
  st.d.indiv.covariates.push_back({"size", Law::categories, 0, 0, {0.2, 0.5, 0.3}});
  st.d.indiv.effects = {{Rate::p, 0, 0, 0, 1.2}, {Rate::survival, 0, 0, 0, -0.9}};
  if (!st.d.states.empty()) st.d.indiv.effects.push_back({Rate::move, 0, 2, 0, 0.8});
  return st;
}

void addTotals(Records& rec, const Totals& tot, const std::string& tag) {
  const std::pair<const char*, std::vector<double> Totals::*> named[] = {
      {"tcap", &Totals::tcap}, {"talive", &Totals::talive}, {"tmark", &Totals::tmark},
      {"tnew", &Totals::tnew}, {"tlost", &Totals::tlost},   {"moved", &Totals::movedIn}};
  for (const auto& [name, v] : named) {
    for (std::size_t k = 0; k < (tot.*v).size(); ++k)
      rec[std::string(name) + " " + std::to_string(k) + tag] += (tot.*v)[k];
  }
  for (std::size_t s = 0; s < tot.states.size(); ++s) addTotals(rec, tot.states[s], " " + std::to_string(s));
}

// One data set driven as the run drives it; its records and totals.
Records drive(Simulation& sim, Column& col, const Design& d, const DataSet& ds) {
  Totals tot(d.nper);
  test::drivePeriods(sim, ds, d.nper, tot);
  Records rec = test::recordsOf(col, d.nper, 0.0);
  addTotals(rec, tot, "");
  return rec;
}

// The expected values: the design's model without its individual settings, summed over the
// categories of its one covariate (if any) at the rates of each.
Records expected(const Study& st) {
  Design plain = st.d;
  plain.indiv = {};
  const auto model = makeModel(plain);
  std::vector<double> probs{1.0};
  if (!st.d.indiv.covariates.empty()) probs = st.d.indiv.covariates[0].probs;
  Records sum;
  for (std::size_t v = 0; v < probs.size(); ++v) {
    const double x = static_cast<double>(v);
    const DataSet at =
        ratesAt(st.d, st.ds, Node{probs[v], std::vector<double>(st.d.indiv.covariates.size(), x), 0});
    Column col = model->column();
    Workspace work;
    Stream none;
    Shortfall why = Shortfall::none;
    for (const auto& [h, e] : drive(*model->simulate(col, at, none, work, why), col, plain, at)) sum[h] += e;
  }
  return sum;
}

Column tallyOf(const Design& d) {
  if (d.states.empty()) return Tally{};
  return MultistateTally{{}, Symbols(d.states)};
}

// An animal log into a string.
struct TextLog final : AnimalLog {
  std::string pre = "1,1,1,", text;
  const std::string& prefix() const override { return pre; }
  bool write(std::string_view lines) override {
    text += lines;
    return true;
  }
};

}  // namespace

// Every history and total with an expected value of at least 1, in units of its standard error
// over 2000 seeded runs: neutral settings (heterogeneity of sigma 0) against the model itself,
// and a categorical covariate with effects against the weighted sum over its categories.
TEST(Animals, MeansFollowTheExpectedValues) {
  Study neutral[] = {ordinary("ordinary"), multistate("multistate")};
  for (Study& st : neutral) st.d.indiv.heterogeneity = true;
  Study cases[] = {neutral[0], neutral[1], withCategories(ordinary("ordinary, categories")),
                   withCategories(multistate("multistate, categories"))};
  for (Study& st : cases) {
    for (StateRates& r : st.ds.st) {
      for (double& n : r.n) n *= 10;
    }
    for (double& n : st.ds.n) n *= 10;
    SCOPED_TRACE(st.name);
    const Records want = expected(st);
    Design d = st.d;
    d.determ = false;
    test::DrawMeans draws;
    for (int rep = 1; rep <= 2000; ++rep) {
      Stream rng = replicateStream(StreamKind::pcg32, 20261208, static_cast<std::uint64_t>(rep));
      Column col = tallyOf(d);
      Workspace work;
      const auto sim = animalSimulationOn(d, col, st.ds, rng, work, 1);
      draws.add(drive(*sim, col, d, st.ds));
    }
    const auto r = draws.against(want);
    EXPECT_TRUE(r.impossible.empty() && r.stuck.empty());
    ASSERT_GT(r.df, 15);
    EXPECT_LT(r.chi2PerDf, 1 + 4 * std::sqrt(2.0 / r.df)) << r.df << " worst " << r.worst;
    EXPECT_LT(r.worst, 4.5);
  }
}

// The same seed gives the same careers, values, totals, rows and stream on 1 to 7 threads, with
// several chunks in each period.
TEST(Animals, ThreadsChangeNothing) {
  for (Study st : {ordinary("ordinary"), multistate("multistate")}) {
    SCOPED_TRACE(st.name);
    st.d.determ = false;
    st.d.indiv.covariates = {{"mass", Law::normal, 3, 0.5, {}}, {"age", Law::uniform, 1, 4, {}}};
    st.d.indiv.effects = {{Rate::p, 0, 0, 0, 0.4}, {Rate::retention, 0, 0, 1, -0.3}};
    st.d.indiv.sigma = {1, 1, 0.5, 0};
    st.d.indiv.heterogeneity = true;
    for (StateRates& r : st.ds.st) r.n[0] *= 300;
    st.ds.n[0] *= 300;
    std::string first;
    for (const unsigned threads : {1U, 2U, 3U, 7U}) {
      Stream rng = replicateStream(StreamKind::pcg32, 99, 1);
      Column col = IndividualRecords{};
      TextLog log;
      Workspace work;
      work.animals = &log;
      const auto sim = animalSimulationOn(st.d, col, st.ds, rng, work, threads);
      std::ostringstream all;
      for (const auto& [h, x] : drive(*sim, col, st.d, st.ds)) all << h << ' ' << x << '\n';
      const auto& rec = std::get<IndividualRecords>(col);
      for (const HistoryKey k : rec.keys) all << static_cast<unsigned long long>(k) << '\n';
      for (const double v : rec.values) all << v << '\n';
      all << log.text << rng.wide << ' ' << rng.taken;
      if (first.empty()) first = all.str();
      EXPECT_EQ(all.str(), first) << threads << " threads";
    }
    EXPECT_GT(std::count(first.begin(), first.end(), '|'), 10) << "tag losers";
  }
}

// Every career of an animal that shows a capture is a record of its own in the order drawn, with
// the values its ANIMALS= row shows: a tag loser keeps them in its new careers.
TEST(Animals, TagLoserKeepsItsValues) {
  Study st = ordinary("ordinary");
  st.d.determ = false;
  st.d.indiv.covariates = {{"mass", Law::normal, 3, 0.5, {}}, {"sex", Law::categories, 0, 0, {0.5, 0.5}}};
  st.d.indiv.heterogeneity = true;
  st.d.indiv.sigma = {0.7, 0.7, 0, 0};
  st.ds.th = {0.3, 0.3, 0.3, 0.3, 0};
  st.ds.pa = st.ds.p2 = {0.9, 0.9, 0.9, 0.9, 0.9};
  Stream rng = replicateStream(StreamKind::pcg32, 7, 1);
  Column col = IndividualRecords{};
  TextLog log;
  Workspace work;
  work.animals = &log;
  drive(*animalSimulationOn(st.d, col, st.ds, rng, work, 2), col, st.d, st.ds);
  const auto& rec = std::get<IndividualRecords>(col);
  ASSERT_EQ(rec.width, 3U);
  std::istringstream rows(log.text);
  std::size_t next = 0, losers = 0, id = 0;
  for (std::string row; std::getline(rows, row);) {
    // rep,dataset,group,id,entered,mass,sex,effect,died,ch
    std::vector<std::string> f;
    std::istringstream fields(row);
    for (std::string v; std::getline(fields, v, ',');) f.push_back(v);
    if (row.back() == ',') f.emplace_back();
    ASSERT_EQ(f.size(), 10U) << row;
    EXPECT_EQ(f[3], std::to_string(++id));
    losers += f[9].find('|') != std::string::npos ? 1 : 0;
    std::istringstream careers(f[9]);
    for (std::string ch; std::getline(careers, ch, '|');) {
      ASSERT_EQ(ch.size(), 5U) << row;
      if (ch == "00000") continue;
      ASSERT_LT(next, rec.keys.size());
      EXPECT_EQ(rec.keys[next], static_cast<HistoryKey>(std::stoi(ch, nullptr, 2))) << row;
      char v[3][64];
      for (std::size_t i = 0; i < 3; ++i)
        std::snprintf(v[i], sizeof v[i], i == 1 ? "%.0f" : "%.6f", rec.values[next * 3 + i]);
      EXPECT_EQ(f[5] + f[6] + f[7], std::string(v[0]) + v[1] + v[2]) << row;
      ++next;
    }
  }
  EXPECT_EQ(next, rec.keys.size());
  EXPECT_EQ(id, 115U);
  EXPECT_GT(losers, 10U);
}

// A log that cannot take rows stops the drawing: the run keeps what its first chunk drew, as a
// run of that chunk's animals alone does, and writes nothing more, on one thread or several.
TEST(Animals, FailedLogStopsTheDrawing) {
  struct FullLog final : AnimalLog {
    std::string pre = "1,1,1,";
    int writes = 0;
    const std::string& prefix() const override { return pre; }
    bool write(std::string_view) override { return ++writes, false; }
  };
  Study st = ordinary("ordinary");
  st.d.determ = false;
  st.d.indiv.log = true;
  const auto run = [&](std::vector<double> n, AnimalLog& log, unsigned threads) {
    st.ds.n = std::move(n);
    Stream rng = replicateStream(StreamKind::pcg32, 5, 1);
    Column col = Tally{};
    Workspace work;
    work.animals = &log;
    Records rec = drive(*animalSimulationOn(st.d, col, st.ds, rng, work, threads), col, st.d, st.ds);
    std::erase_if(rec, [](const auto& r) { return r.first.starts_with("talive"); });  // entrants
    return rec;
  };
  TextLog one;
  const Records firstChunk = run({kChunkAnimals, 0, 0, 0, 0}, one, 1);
  for (const unsigned threads : {1U, 3U}) {
    FullLog full;
    EXPECT_EQ(run({20000, 9000, 0, 9000, 0}, full, threads), firstChunk) << threads << " threads";
    EXPECT_EQ(full.writes, 1) << threads << " threads";
  }
}

}  // namespace plovanet
