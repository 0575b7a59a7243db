// A data set driven through a model as the run drives it, and its records read back by history
// as the output walks them: what the engines' tests compare with their literal models.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "engine/model.h"

namespace plovanet::test {

using Records = std::map<std::string, double>;

// Each period's entrants into tot and through the simulation.
inline void drivePeriods(Simulation& sim, const DataSet& ds, int periods, Totals& tot) {
  for (int j = 0; j < periods; ++j) {
    const auto i = static_cast<std::size_t>(j);
    tot.talive[i] += ds.n[i];
    sim.period(j, ds.n[i], tot);
  }
}

// Every record of a column above thr, by its history; the walk must give them in order. A column
// of careers (INDIVIDUAL) has none.
inline Records recordsOf(Column& col, int K, double thr) {
  Records out;
  std::string last;
  // A live-dead history has two characters an occasion.
  const auto width = static_cast<std::size_t>(std::holds_alternative<LiveDeadRecords>(col) ? 2 * K : K);
  const auto take = [&](int, const char* digits, const double* cols) {
    std::string h(digits, width);
    EXPECT_LT(last, h) << "records out of order";
    out[h] = cols[0];
    last = std::move(h);
    return true;
  };
  const auto all = [](const auto& sources) {
    std::vector<const typename std::decay_t<decltype(sources)>::value_type*> v;
    for (const auto& c : sources) v.push_back(&c);
    return std::vector<decltype(v)>{v};
  };
  if (auto* t = std::get_if<Tally>(&col)) {
    walkTallies({t}, K, thr, take);
  } else if (auto* o = std::get_if<OrdinaryRecords>(&col)) {
    walkHistories(all(o->sources), thr, take);
  } else if (auto* t = std::get_if<MultistateTally>(&col)) {
    walkStateTallies({&t->tally}, K, t->sym, thr, take);
  } else if (auto* m = std::get_if<MultistateRecords>(&col)) {
    walkMultistate(all(m->sources), m->sym, thr, take);
  } else if (auto* l = std::get_if<LiveDeadRecords>(&col)) {
    if (l->sources.empty()) {
      walkEncounterTallies({&l->tally}, K, thr, take);
    } else {
      walkLiveDead(all(l->sources), thr, take);
    }
  } else if (!std::holds_alternative<IndividualRecords>(col)) {  // careers, read as rows: none here
    ADD_FAILURE() << "no walk for this column";
  }
  return out;
}

// One data set through the model; its records above thr, its totals added into tot.
inline Records simulateRecords(const Model& m, const DataSet& ds, Stream& rng, Totals& tot, double thr) {
  Column col = m.column();
  Workspace work;
  Shortfall why = Shortfall::none;
  auto sim = m.simulate(col, ds, rng, work, why);
  drivePeriods(*sim, ds, m.periods(), tot);
  return recordsOf(col, m.design().nper, thr);
}

// a and b the same to rel of the larger.
inline bool nearRel(double a, double b, double rel) {
  return std::fabs(a - b) <= rel * std::max({std::fabs(a), std::fabs(b), 1e-300});
}

}  // namespace plovanet::test
