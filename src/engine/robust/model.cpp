// The robust design as a model: primaries of secondary occasions, closed within a primary and
// open between them, with temporary emigration (engine/robust/robust.h). Its expected values
// take the closed form (the named format holds no rate outside 0..1), its stochastic runs the
// recursion.
#include <algorithm>
#include <array>

#include "engine/model.h"

namespace plovanet {

namespace {

class Closed final : public Simulation {
 public:
  Closed(const Design& d, const DataSet& ds, RobustCohorts& c) : d_(d), ds_(ds), c_(c) {}
  void period(int j, double entrants, Totals& tot) override {
    robustOccasion(c_, d_, ds_, tot, j + 1, entrants);
  }
  // Captures over the secondaries, not the animals caught in a primary that tcap counts.
  void addCaptures(const Totals&, double& sum) const override { sum += c_.captures; }

 private:
  const Design& d_;
  const DataSet& ds_;
  RobustCohorts& c_;
};

class Drawn final : public Simulation {
 public:
  Drawn(const Design& d, const DataSet& ds, Stream& rng, Tally& t) : d_(d), ds_(ds), rng_(rng), t_(t) {}
  void period(int j, double entrants, Totals& tot) override {
    if (entrants > 0) caphisRobust(d_, ds_, tot, rng_, t_, {0, entrants, j + 1}, std::nullopt, true);
  }
  // Only expected values are checked for what the output file leaves out.
  void addCaptures(const Totals&, double&) const override {}

 private:
  const Design& d_;
  const DataSet& ds_;
  Stream& rng_;
  Tally& t_;
};

constexpr std::array<TruthColumn, 1> kTruth{{{"inside", &Totals::tin}}};

class Robust final : public Model {
 public:
  using Model::Model;

  int periods() const override { return design().nprim; }

  Column column() const override {
    if (design().determ) return RobustRecords{};
    return Tally{};
  }

  std::unique_ptr<Simulation> simulate(Column& col, const DataSet& ds, Stream& rng, Workspace&,
                                       Shortfall& why) const override {
    why = Shortfall::none;
    if (!design().determ) return std::make_unique<Drawn>(design(), ds, rng, std::get<Tally>(col));
    return std::make_unique<Closed>(design(), ds, std::get<RobustRecords>(col).sources.emplace_back());
  }

  // At the first secondary when the first primary has one, so that a design of single
  // secondaries divides as the ordinary model does.
  double caughtFirst(const DataSet& ds) const override {
    const int first = design().sec[0];
    double miss = 1;
    for (int g = 0; g < first; ++g) miss *= 1 - ds.pa[static_cast<std::size_t>(g)];
    return first == 1 ? ds.pa[0] : 1 - miss;
  }

  // Shown when animals move: without it a robust design reads as the ordinary study it then is.
  std::vector<EchoLine> moreEcho(const DataSet& used) const override {
    const auto intervals = [this](const std::vector<double>& v) {
      return std::span<const double>(v).first(static_cast<std::size_t>(periods() - 1));
    };
    const auto moves = [&intervals](const std::vector<double>& v) {
      const auto s = intervals(v);
      return std::any_of(s.begin(), s.end(), [](double x) { return x != 0; });
    };
    if (!moves(used.em) && !moves(used.ro)) return {};
    return {{"emigrate=", intervals(used.em)}, {"remain_out=", intervals(used.ro)}};
  }

  std::span<const TruthColumn> truthColumns() const override { return kTruth; }

  bool writesJollyCapture() const override { return false; }

  // Time intervals 0 within a primary and the interval between primaries; the model is chosen in MARK, so
  // the file ends with the records. hist= counts them: 2^K says nothing of a file this sparse.
  MarkForm mark() const override {
    std::vector<double> intervals;
    const std::vector<int>& sec = design().sec;
    for (std::size_t i = 0; i < sec.size(); ++i) {
      for (int j = 1; j < sec[i]; ++j) intervals.push_back(0);
      if (i + 1 < sec.size()) intervals.push_back(intervalLength(design(), static_cast<int>(i) + 1));
    }
    return {
        .etype = "Robust",
        .intervals = intervals,
        .estimates = false,
        .strata = {},
        .title = design().determ ? "expected values, robust design" : "stochastic replicate, robust design",
        .countLines = true,
        .bareIntervals = false,
        .icovariates = {}};
  }
};

}  // namespace

std::unique_ptr<Model> robustModel(const Design& d) {
  return std::make_unique<Robust>(d);
}

}  // namespace plovanet
