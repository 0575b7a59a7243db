// Multistate studies as a model: expected values by the closed form (the named format holds no
// rate outside 0..1), stochastic runs by the recursion.
#include <algorithm>
#include <array>
#include <string>

#include "engine/model.h"

namespace plovanet {

namespace {

// A multistate run's totals keep one set per state beside the sums.
void perState(Totals& tot, int states, int K) {
  if (tot.states.empty()) tot.states.assign(static_cast<std::size_t>(states), Totals(K));
}

class Closed final : public Simulation {
 public:
  explicit Closed(MultiCohorts& c) : c_(c) {}
  void period(int j, double, Totals& tot) override {
    perState(tot, c_.r.S, c_.r.K);
    multistateOccasion(c_, tot, j);
    sumStates(tot, j);
  }
  void addCaptures(const Totals&, double& sum) const override { sum += c_.captures; }

 private:
  MultiCohorts& c_;
};

class Drawn final : public Simulation {
 public:
  Drawn(const Design& d, const DataSet& ds, Stream& rng, MultistateTally& t)
      : d_(d), r_(d, ds), rng_(rng), t_(t) {}
  void period(int j, double, Totals& tot) override {
    perState(tot, r_.S, r_.K);
    for (int s = 0; s < r_.S; ++s) {
      const double n = r_.n[r_.at(j, s)];
      tot.states[static_cast<std::size_t>(s)].n[static_cast<std::size_t>(j)] += n;
      tot.states[static_cast<std::size_t>(s)].talive[static_cast<std::size_t>(j)] += n;
      if (n > 0) caphisMultistate(d_, r_, t_.sym, tot, rng_, t_.tally, 0, n, j + 1, s, std::nullopt);
    }
    sumStates(tot, j);  // the batches followed their animals to every later occasion
  }
  // Only expected values are checked for what the output file leaves out.
  void addCaptures(const Totals&, double&) const override {}

 private:
  const Design& d_;
  StateTables r_;
  Stream& rng_;
  MultistateTally& t_;
};

constexpr std::array<TruthColumn, 1> kTruth{{{"moved_in", &Totals::movedIn}}};

class Multistate final : public Model {
 public:
  explicit Multistate(const Design& d) : Model(d), sym_(d.states) {}

  int periods() const override { return design().nper; }

  Column column() const override {
    if (design().determ) return MultistateRecords{{}, sym_};
    return MultistateTally{{}, sym_};
  }

  std::unique_ptr<Simulation> simulate(Column& col, const DataSet& ds, Stream& rng, Workspace&,
                                       Shortfall& why) const override {
    why = Shortfall::none;
    if (!design().determ) return std::make_unique<Drawn>(design(), ds, rng, std::get<MultistateTally>(col));
    auto& rec = std::get<MultistateRecords>(col);
    return std::make_unique<Closed>(rec.sources.emplace_back(StateTables(design(), ds)));
  }

  double caughtFirst(const DataSet& ds) const override {
    double n = 0, caught = 0;
    for (const StateRates& s : ds.st) {
      n += s.n[0];
      caught += s.n[0] * s.pa[0];
    }
    return n > 0 ? caught / n : 0;
  }

  // Every state's rates; observation only where some state is not always recorded, moves only
  // where they happen.
  std::vector<EchoLine> echo(const DataSet& used) const override {
    const std::string& letters = design().states;
    const auto K = static_cast<std::size_t>(design().nper);
    const auto all = [K](const std::vector<double>& v) { return std::span<const double>(v).first(K); };
    const auto intervals = [K](const std::vector<double>& v) {
      return std::span<const double>(v).first(K - 1);
    };
    const auto some = [](std::span<const double> v, double other) {
      return std::any_of(v.begin(), v.end(), [other](double x) { return x != other; });
    };
    std::vector<EchoLine> lines;
    for (std::size_t s = 0; s < used.st.size(); ++s) {
      const StateRates& r = used.st[s];
      const std::string l(1, letters[s]);
      lines.push_back({"n " + l + "=", all(r.n)});
      lines.push_back({"srv " + l + "=", intervals(r.sa)});
      lines.push_back({"theta " + l + "=", intervals(r.th)});
      lines.push_back({"p " + l + "=", all(r.pa)});
      lines.push_back({"c " + l + "=", all(r.p2)});
      if (some(all(r.obs), 1)) lines.push_back({"observe " + l + "=", all(r.obs)});
      for (std::size_t to = 0; to < used.st.size(); ++to) {
        if (to != s && some(intervals(r.move[to]), 0))
          lines.push_back({"move " + l + " " + letters[to] + "=", intervals(r.move[to])});
      }
    }
    return lines;
  }

  std::span<const TruthColumn> truthColumns() const override { return kTruth; }

  bool exactOnly() const override { return true; }
  bool writesJollyCapture() const override { return false; }

  // The model is chosen in MARK, so the file ends with the records.
  MarkForm mark() const override {
    const std::vector<double> intervals = intervalLengths(design());
    return {.etype = "Multistrata",
            .intervals = intervals,
            .estimates = false,
            .strata = design().states,
            .countLines = true,
            .icovariates = {}};
  }

 private:
  Symbols sym_;
};

}  // namespace

std::unique_ptr<Model> multistateModel(const Design& d) {
  return std::make_unique<Multistate>(d);
}

}  // namespace plovanet
