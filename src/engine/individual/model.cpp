// A design with individual settings: its own model (ordinary or multistate) for everything but
// how a data set is simulated, which integrates over the animals' values (expected values) or
// follows one animal at a time (stochastic runs).
#include "engine/individual/engines.h"

namespace plovanet {

namespace {

class Individual final : public Model {
 public:
  explicit Individual(std::unique_ptr<Model> base) : Model(base->design()), base_(std::move(base)) {}

  int periods() const override { return base_->periods(); }

  Column column() const override {
    const Design& d = design();
    if (!d.determ && d.indiv.rows && d.indiv.active()) return IndividualRecords{};
    return base_->column();
  }

  std::unique_ptr<Simulation> simulate(Column& col, const DataSet& ds, Stream& rng, Workspace& work,
                                       Shortfall& why) const override {
    why = Shortfall::none;
    const Design& d = design();
    // INDIVIDUAL alone draws as the base model does: its file then lists that run's animals.
    if (!d.indiv.active()) return base_->simulate(col, ds, rng, work, why);
    if (d.determ) return mixtureSimulation(*base_, col, ds, rng, work, why);
    return animalSimulation(d, col, ds, rng, work);
  }

  double caughtFirst(const DataSet& ds) const override { return base_->caughtFirst(ds); }
  std::vector<EchoLine> echo(const DataSet& used) const override { return base_->echo(used); }
  std::span<const TruthColumn> truthColumns() const override { return base_->truthColumns(); }
  bool exactOnly() const override { return design().indiv.active() || base_->exactOnly(); }
  bool writesJollyCapture() const override { return base_->writesJollyCapture(); }

  MarkForm mark() const override {
    MarkForm form = base_->mark();
    const Individuals& in = design().indiv;
    if (in.rows && !design().determ) {
      for (const Covariate& c : in.covariates) form.icovariates.push_back(c.name);
      if (in.heterogeneity) form.icovariates.emplace_back("effect");
      form.countLines = true;
      form.perAnimal = true;
    }
    return form;
  }

 private:
  std::unique_ptr<Model> base_;
};

}  // namespace

std::unique_ptr<Model> individualModel(std::unique_ptr<Model> base) {
  return std::make_unique<Individual>(std::move(base));
}

}  // namespace plovanet
