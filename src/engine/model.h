// The study models behind one seam. A model says, for its design and a data set: how the data
// set is simulated period by period (its expected-value engines and its stochastic recursion,
// which the stream's kind makes classic or exact), the form its records are kept in until they
// are written (a Column), what its truth rows add, and the layouts and MARK header it is written
// with. The run asks for the design's model once (makeModel, the one place that picks it) and
// never asks which one it is.
//
// Adding a model: its engines under engine/NAME/ (a closed form with its walk on engine/walk.h,
// a recursion drawing with binoml), a class deriving from Model in engine/NAME/model.cpp, its
// records type in Column, a branch in makeModel, and its case where output/blocks.cpp visits a
// Column. CONTRIBUTING.md lists the tests a model comes with.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/individual/individual.h"
#include "engine/livedead/livedead.h"
#include "engine/multistate/multistate.h"
#include "engine/ordinary/closed_form.h"
#include "engine/ordinary/pooled.h"
#include "engine/robust/robust.h"
#include "engine/state.h"
#include "engine/stream.h"
#include "engine/tally.h"

namespace plovanet {

// Expected values of the ordinary model: the closed form's data sets (rates within 0..1), and a
// table row of 2^nper once a data set needs the pooled engine (the sources are added into it
// when the records are written).
struct OrdinaryRecords {
  std::vector<Cohorts> sources;
  Array row;
};

// Expected values of a robust design.
struct RobustRecords {
  std::vector<RobustCohorts> sources;
};

// Expected values of a multistate study, and the tally of its stochastic runs: each with the
// characters its histories are spelt with.
struct MultistateRecords {
  std::vector<MultiCohorts> sources;
  Symbols sym;
};
struct MultistateTally {
  StateTally tally;
  Symbols sym;
};

// Expected values of a live-dead study (the closed form's data sets), or the tally of its
// stochastic runs under their 2K characters.
struct LiveDeadRecords {
  std::vector<LiveDeadCohorts> sources;
  StateTally tally;
};

// One group's records, in the form its model's engine gives them. Stochastic runs of every
// model keep a tally of the histories drawn, or with INDIVIDUAL every career drawn.
using Column = std::variant<Tally, OrdinaryRecords, RobustRecords, MultistateRecords, MultistateTally,
                            IndividualRecords, LiveDeadRecords>;

// Why a data set could not be simulated: memory for a table row of 2^nper (more than the process
// may use, or not to be had).
enum class Shortfall { none, rowTooLarge, rowOutOfMemory };

// Gives the records a zeroed table row of 2^nper unless they have one; limit is the memory
// (bytes) the process may use.
Shortfall ensureRow(OrdinaryRecords& rec, int nper, std::size_t limit);

// What the simulations of a run share: the pooled engine's pool, made when a data set first needs
// it, and how to ask how much memory the process may still use (asked only then).
struct Workspace {
  Levels pool;
  std::size_t (*memoryLimit)() = nullptr;  // null: no limit but what allocation allows
  AnimalLog* animals = nullptr;            // ANIMALS=: where every animal drawn is written
};

// One data set being simulated, a period (occasion, or primary of a robust design) at a time, so
// that the run can draw the next period's recruits from the animals alive.
class Simulation {
 public:
  virtual ~Simulation() = default;
  // Period j (from 0), its entrants; adds into tot. Periods run in order from 0.
  virtual void period(int j, double entrants, Totals& tot) = 0;
  // Adds the data set's expected captures over every capture occasion to sum (after its last
  // period), for the share of them the output file leaves out.
  virtual void addCaptures(const Totals& tot, double& sum) const = 0;
};

// A line of the data set's echo after its entrants.
struct EchoLine {
  std::string label;
  std::span<const double> values;
};

// A truth-row column besides the ones every model writes: its name and its totals.
struct TruthColumn {
  std::string_view name;
  std::vector<double> Totals::*values;
};

// How MARK's header describes the design, and whether its estimation block follows the records.
struct MarkForm {
  const char* etype;              // MARK's data type: "Live", "Robust", "Multistrata"
  std::vector<double> intervals;  // the time interval line, between capture occasions
  bool estimates;                 // the Phi(t) p(t) estimation block
  std::string strata;             // a multistate study's letters: the multistrata header
  // The proc title line's words; null: the ordinary layout's fixed title.
  const char* title = nullptr;
  // hist= counts the record lines (filled in at the end) instead of giving 2^nper.
  bool countLines = false;
  // Without intervals (one occasion) the ordinary layout still writes its bare line; MARK is
  // better told nothing.
  bool bareIntervals = true;
  // INDIVIDUAL: the names of the values after each history (icovar= and the icovariates line).
  std::vector<std::string> icovariates;
  // INDIVIDUAL: one line per animal, which 2^K does not bound, so the count must be filled in.
  bool perAnimal = false;
};

class Model {
 public:
  explicit Model(Design d) : d_(std::move(d)) {}
  virtual ~Model() = default;
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  const Design& design() const { return d_; }
  // Entries of the totals, console lines and truth rows: occasions, or primaries.
  virtual int periods() const = 0;
  // An empty group's records for the design's mode.
  virtual Column column() const = 0;
  // Begins simulating ds into col (made by column()), drawing from rng in stochastic mode. Null,
  // with the reason in why, when the data set cannot be simulated.
  virtual std::unique_ptr<Simulation> simulate(Column& col, const DataSet& ds, Stream& rng, Workspace& work,
                                               Shortfall& why) const = 0;
  // The share of the first period's entrants caught in it: what recruitment without USEF1
  // divides the first entrants by.
  virtual double caughtFirst(const DataSet& ds) const = 0;
  // The echo lines of a data set as used, after its entrants and before its recruitment rates:
  // by default survival, tag retention, p and c, then moreEcho.
  virtual std::vector<EchoLine> echo(const DataSet& used) const;
  virtual std::vector<EchoLine> moreEcho(const DataSet&) const { return {}; }
  virtual std::span<const TruthColumn> truthColumns() const { return {}; }
  // True when its stochastic runs are drawn with the exact engine only (RNG=PCG).
  virtual bool exactOnly() const { return false; }
  // False when the files cannot be written in JOLLY's or CAPTURE's layout.
  virtual bool writesJollyCapture() const { return true; }
  virtual MarkForm mark() const = 0;

 private:
  Design d_;
};

// The model of a design: the robust design when it has primaries, the multistate one when it
// has states, the live-dead one when it has encounters, the ordinary one otherwise; with individual settings
// (or INDIVIDUAL), that model as individualModel runs it.
std::unique_ptr<Model> makeModel(const Design& d);

std::unique_ptr<Model> ordinaryModel(const Design& d);
std::unique_ptr<Model> robustModel(const Design& d);
std::unique_ptr<Model> multistateModel(const Design& d);
std::unique_ptr<Model> liveDeadModel(const Design& d);

}  // namespace plovanet
