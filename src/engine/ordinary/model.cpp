// The ordinary model: an open population over nper capture occasions with tag loss. Expected
// values take the closed form when every rate lies within 0..1 and the pooled engine otherwise;
// stochastic runs follow the recursion.
#include <cmath>
#include <cstdint>
#include <numeric>

#include "engine/model.h"
#include "engine/ordinary/caphis.h"

namespace plovanet {

namespace {

// Whether the closed form may run this data set: every rate within 0..1 and finite inputs (the
// pooled engine follows the recursion's sign tests everywhere else). Recruitment rates are 0
// when no recruitment is asked for.
bool closedForm(const Design& d, const DataSet& ds) {
  if (!cohortsEligible(d, ds) || !std::isfinite(ds.n[0])) return false;
  for (std::size_t i = 0; i + 1 < static_cast<std::size_t>(d.nper); ++i) {
    if (!std::isfinite(ds.f[i]) || !std::isfinite(ds.sef[i])) return false;
  }
  return true;
}

// Every occasion's captures, added one by one.
void addEach(const Totals& tot, double& sum) {
  for (const double t : tot.tcap) sum += t;
}

class Closed final : public Simulation {
 public:
  Closed(const Design& d, const DataSet& ds, Cohorts& c) : d_(d), ds_(ds), c_(c) {}
  void period(int j, double entrants, Totals& tot) override {
    cohortsOccasion(c_, d_, ds_, tot, j + 1, entrants);
  }
  void addCaptures(const Totals& tot, double& sum) const override { addEach(tot, sum); }

 private:
  const Design& d_;
  const DataSet& ds_;
  Cohorts& c_;
};

class Pooled final : public Simulation {
 public:
  Pooled(const Design& d, const DataSet& ds, Levels& lv, double* row) : d_(d), ds_(ds), lv_(lv), row_(row) {}
  void period(int j, double entrants, Totals& tot) override {
    levelsOccasion(lv_, d_, ds_, tot, j + 1, entrants, row_);
  }
  void addCaptures(const Totals& tot, double& sum) const override { addEach(tot, sum); }

 private:
  const Design& d_;
  const DataSet& ds_;
  Levels& lv_;
  double* row_;
};

class Drawn final : public Simulation {
 public:
  Drawn(const Design& d, const DataSet& ds, Stream& rng, Tally& t) : d_(d), ds_(ds), rng_(rng), t_(t) {}
  void period(int j, double entrants, Totals& tot) override {
    if (entrants > 0) caphis(d_, ds_, tot, rng_, t_, {0, entrants, j + 1}, std::nullopt);
  }
  void addCaptures(const Totals& tot, double& sum) const override { addEach(tot, sum); }

 private:
  const Design& d_;
  const DataSet& ds_;
  Stream& rng_;
  Tally& t_;
};

class Ordinary final : public Model {
 public:
  using Model::Model;

  int periods() const override { return design().nper; }

  Column column() const override {
    if (design().determ) return OrdinaryRecords{};
    return Tally{};
  }

  std::unique_ptr<Simulation> simulate(Column& col, const DataSet& ds, Stream& rng, Workspace& work,
                                       Shortfall& why) const override {
    const Design& d = design();
    why = Shortfall::none;
    if (!d.determ) return std::make_unique<Drawn>(d, ds, rng, std::get<Tally>(col));
    auto& rec = std::get<OrdinaryRecords>(col);
    if (closedForm(d, ds)) return std::make_unique<Closed>(d, ds, rec.sources.emplace_back());
    why = ensureRow(rec, d.nper, work.memoryLimit != nullptr ? work.memoryLimit() : SIZE_MAX);
    if (why == Shortfall::none && !work.pool.pool && !levelsAllocate(work.pool, d.nper))
      why = Shortfall::rowOutOfMemory;
    if (why != Shortfall::none) return nullptr;
    return std::make_unique<Pooled>(d, ds, work.pool, rec.row.get());
  }

  double caughtFirst(const DataSet& ds) const override { return ds.pa[0]; }

  MarkForm mark() const override {
    const std::vector<double> intervals = intervalLengths(design());
    return {.etype = "Live", .intervals = intervals, .estimates = true, .strata = {}, .icovariates = {}};
  }
};

}  // namespace

std::unique_ptr<Model> ordinaryModel(const Design& d) {
  return std::make_unique<Ordinary>(d);
}

}  // namespace plovanet
