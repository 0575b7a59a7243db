// Joint live-dead studies as a model: expected values by the closed form (every rate lies within
// 0..1), stochastic runs by the recursion.
#include <array>
#include <span>

#include "engine/livedead/livedead.h"
#include "engine/model.h"

namespace plovanet {

namespace {

class Followed final : public Simulation {
 public:
  Followed(const Design& d, const DataSet& ds, Stream& rng, StateTally& t)
      : d_(d), ds_(ds), rng_(rng), t_(t) {}
  void period(int j, double entrants, Totals& tot) override {
    caphisLiveDead(d_, ds_, tot, rng_, t_, 0, entrants, j + 1, true, std::nullopt);
  }
  void addCaptures(const Totals& tot, double& sum) const override {
    for (const double t : tot.tcap) sum += t;
  }

 private:
  const Design& d_;
  const DataSet& ds_;
  Stream& rng_;
  StateTally& t_;
};

class Closed final : public Simulation {
 public:
  explicit Closed(LiveDeadCohorts& c) : c_(c) {}
  void period(int j, double entrants, Totals& tot) override { liveDeadOccasion(c_, tot, j, entrants); }
  void addCaptures(const Totals& tot, double& sum) const override {
    for (const double t : tot.tcap) sum += t;
  }

 private:
  LiveDeadCohorts& c_;
};

constexpr std::array<TruthColumn, 3> kTruth{
    {{"died", &Totals::died}, {"reported", &Totals::reported}, {"emigrated", &Totals::emigrated}}};

class LiveDead final : public Model {
 public:
  using Model::Model;

  int periods() const override { return design().nper; }

  Column column() const override { return LiveDeadRecords{}; }

  std::unique_ptr<Simulation> simulate(Column& col, const DataSet& ds, Stream& rng, Workspace&,
                                       Shortfall& why) const override {
    why = Shortfall::none;
    auto& rec = std::get<LiveDeadRecords>(col);
    if (design().determ) return std::make_unique<Closed>(rec.sources.emplace_back(design(), ds));
    return std::make_unique<Followed>(design(), ds, rng, rec.tally);
  }

  double caughtFirst(const DataSet& ds) const override { return ds.pa[0]; }

  // Survival here covers the interval after the last occasion too, over which deaths are still
  // reported.
  std::vector<EchoLine> echo(const DataSet& used) const override {
    const auto K = static_cast<std::size_t>(design().nper);
    const auto all = [K](const std::vector<double>& v) { return std::span<const double>(v).first(K); };
    const auto between = [K](const std::vector<double>& v) {
      return std::span<const double>(v).first(K - 1);
    };
    std::vector<EchoLine> lines{{"srv=", all(used.sa)},    {"theta=", between(used.th)},
                                {"p=", all(used.pa)},      {"c=", all(used.p2)},
                                {"report=", all(used.rr)}, {"fidelity=", between(used.fid)}};
    if (design().encounters == Encounters::barker) {
      lines.push_back({"resight=", all(used.rs)});
      lines.push_back({"resight_dead=", all(used.rsd)});
      lines.push_back({"return=", between(used.ret)});
    }
    return lines;
  }

  std::span<const TruthColumn> truthColumns() const override { return kTruth; }

  bool exactOnly() const override { return true; }
  bool writesJollyCapture() const override { return false; }

  // MARK's joint live-dead types read 2K characters per record; the model is chosen in MARK.
  MarkForm mark() const override {
    const std::vector<double> intervals = intervalLengths(design());
    const char* etype = design().encounters == Encounters::barker ? "Barker"
                        : design().recoveriesOnly                 ? "Dead"
                                                                  : "Both";
    return {.etype = etype,
            .intervals = intervals,
            .estimates = false,
            .strata = {},
            .countLines = true,
            .icovariates = {}};
  }
};

}  // namespace

std::unique_ptr<Model> liveDeadModel(const Design& d) {
  return std::make_unique<LiveDead>(d);
}

}  // namespace plovanet
