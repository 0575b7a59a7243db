// Expected values integrated over the animals' values: the data set at every quadrature node (its
// rates moved to that node's values, its entrants scaled by the node's weight) run by the design's
// own model into the same column, so that the column's sources hold every node and the walk adds
// them up history by history. Each node keeps totals of its own; the data set's are their sums.
#include <algorithm>
#include <memory>
#include <vector>

#include "engine/individual/engines.h"

namespace plovanet {

namespace {

// The totals the engines add up, entrants apart (the driver owns those of the data set).
constexpr std::vector<double> Totals::*kSummed[] = {
    &Totals::tcap, &Totals::talive,  &Totals::tmark, &Totals::tnew,     &Totals::tlost,
    &Totals::tin,  &Totals::movedIn, &Totals::died,  &Totals::reported, &Totals::emigrated};

void addInto(Totals& sum, const Totals& node, bool entrants) {
  for (auto v : kSummed) {
    std::vector<double>& s = sum.*v;
    const std::vector<double>& x = node.*v;
    for (std::size_t k = 0; k < s.size() && k < x.size(); ++k) s[k] += x[k];
  }
  if (entrants) {
    for (std::size_t k = 0; k < sum.n.size() && k < node.n.size(); ++k) sum.n[k] += node.n[k];
  }
  if (sum.states.size() < node.states.size())
    sum.states.resize(node.states.size(), Totals(static_cast<int>(sum.n.size())));
  for (std::size_t s = 0; s < node.states.size(); ++s) addInto(sum.states[s], node.states[s], true);
}

void clear(Totals& tot, bool entrants) {
  for (auto v : kSummed) std::fill((tot.*v).begin(), (tot.*v).end(), 0.0);
  if (entrants) std::fill(tot.n.begin(), tot.n.end(), 0.0);
  for (Totals& s : tot.states) clear(s, true);
}

struct Point {
  explicit Point(DataSet rates, double w, int K) : ds(std::move(rates)), weight(w), tot(K) {}
  DataSet ds;  // the base simulation keeps a reference: a Point never moves
  double weight;
  Totals tot;
  std::unique_ptr<Simulation> sim;
};

class Mixture final : public Simulation {
 public:
  explicit Mixture(std::vector<std::unique_ptr<Point>> points) : points_(std::move(points)) {}

  void period(int j, double entrants, Totals& tot) override {
    const auto uj = static_cast<std::size_t>(j);
    for (const auto& pt : points_) {
      const double share = entrants * pt->weight;
      pt->tot.talive[uj] += share;
      pt->sim->period(j, share, pt->tot);
    }
    // Later occasions too: an engine adds what survives into the next occasion's totals.
    clear(tot, false);
    for (const auto& pt : points_) addInto(tot, pt->tot, false);
  }

  void addCaptures(const Totals&, double& sum) const override {
    for (const auto& pt : points_) pt->sim->addCaptures(pt->tot, sum);
  }

 private:
  std::vector<std::unique_ptr<Point>> points_;
};

// Room for every node's source before the first is made: the base simulations keep references
// into the column's sources.
template <class Records>
void reserveSources(Column& col, std::size_t more) {
  if (auto* rec = std::get_if<Records>(&col)) {
    const std::size_t need = rec->sources.size() + more;
    if (rec->sources.capacity() < need) rec->sources.reserve(std::max(need, 2 * rec->sources.capacity()));
  }
}

}  // namespace

std::unique_ptr<Simulation> mixtureSimulation(const Model& base, Column& col, const DataSet& ds, Stream& rng,
                                              Workspace& work, Shortfall& why) {
  const Design& d = base.design();
  const std::vector<Node> nodes = quadratureNodes(d, d.indiv.nodes);
  reserveSources<OrdinaryRecords>(col, nodes.size());
  reserveSources<RobustRecords>(col, nodes.size());
  reserveSources<MultistateRecords>(col, nodes.size());
  reserveSources<LiveDeadRecords>(col, nodes.size());
  std::vector<std::unique_ptr<Point>> points;
  points.reserve(nodes.size());
  for (const Node& node : nodes) {
    auto pt = std::make_unique<Point>(ratesAt(d, ds, node), node.weight, d.nper);
    pt->sim = base.simulate(col, pt->ds, rng, work, why);
    if (!pt->sim) return nullptr;
    points.push_back(std::move(pt));
  }
  return std::make_unique<Mixture>(std::move(points));
}

}  // namespace plovanet
