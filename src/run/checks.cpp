// What a run is not run with, and the warnings of its settings, known before anything is
// written; the command line and the R binding ask the same questions.
#include "run/checks.h"

#include <cstdint>
#include <utility>

#include "engine/individual/individual.h"

namespace plovanet {

namespace {

// What a multistate study is not run with, known once the head of the parameter file is read.
std::optional<Fault> checkStates(const Control& ctl, const Design& d) {
  if (d.states.empty()) return std::nullopt;
  // Its engine draws exactly, from PCG32 only.
  if (ctl.rngGiven && ctl.rng == StreamKind::classic) return Fault::statesClassic();
  if (ctl.lay.jollyflg || ctl.lay.captflg) return Fault::plainLayout("multistate study");
  if (ctl.lay.markflg && d.uncertain) return Fault::markUncertain();
  return std::nullopt;
}

// What a live-dead study is not run with: its engine draws exactly, from PCG32 only, and its
// histories of two characters per occasion are not JOLLY's or CAPTURE's.
std::optional<Fault> checkEncounters(const Control& ctl, const Design& d) {
  if (d.encounters == Encounters::none) return std::nullopt;
  if (ctl.rngGiven && ctl.rng == StreamKind::classic) return Fault::liveDeadClassic();
  if (ctl.lay.jollyflg || ctl.lay.captflg) return Fault::plainLayout("live-dead study");
  return std::nullopt;
}

// What INDIVIDUAL and ANIMALS= are not run with: they list the animals a stochastic run draws,
// which a robust design does not draw one at a time.
std::optional<Fault> checkIndividual(const Control& ctl, const Design& d) {
  for (const auto& [given, keyword] :
       {std::pair{ctl.individual, "INDIVIDUAL"}, std::pair{!ctl.animalsfile.empty(), "ANIMALS="}}) {
    if (!given) continue;
    if (ctl.determ) return Fault::individualExpected(keyword);
    if (d.nprim > 0) return Fault::individualRobust(keyword);
  }
  if (ctl.individual && (ctl.lay.jollyflg || ctl.lay.captflg))
    return Fault::plainLayout("study with INDIVIDUAL");
  // Each node is a data set simulated on its own: a grid past the bound would only run out of
  // memory or time.
  if (ctl.determ && d.indiv.active()) {
    const double nodes = quadratureSize(d, d.indiv.nodes);
    if (nodes > kMaxQuadratureNodes) return Fault::quadratureTooLarge(ctl.infile, nodes);
  }
  return std::nullopt;
}

}  // namespace

std::optional<Fault> checkStudy(const Control& ctl, const Design& d) {
  if (auto f = checkStates(ctl, d)) return f;
  if (auto f = checkEncounters(ctl, d)) return f;
  return checkIndividual(ctl, d);
}

std::optional<Fault> checkReplicates(const Control& ctl) {
  const std::int64_t last = ctl.firstrep + ctl.reps - 1;
  if (ctl.replicates && last > static_cast<std::int64_t>(maxReplicate(ctl.rng))) {
    return Fault::replicateRange(last, maxReplicate(ctl.rng), ctl.rng == StreamKind::pcg32);
  }
  if (ctl.replicates && ctl.reps > 1 && ctl.rng == StreamKind::classic)
    return warn(ctl, Fault::classicReplicates());
  return std::nullopt;
}

std::optional<Fault> checkRun(const RunConfig& cfg, const std::vector<Fault>& headWarnings) {
  const Control& ctl = cfg.ctl;
  // Animals simulated one at a time draw from PCG32 only, as multistate and live-dead studies do.
  if (cfg.model->exactOnly() && ctl.rngGiven && ctl.rng == StreamKind::classic)
    return Fault::individualClassic();
  const Design& design = cfg.design();
  if (!cfg.model->writesJollyCapture() && (ctl.lay.jollyflg || ctl.lay.captflg))
    return Fault::plainLayout(design.encounters != Encounters::none ? "live-dead study" : "robust design");
  for (const Fault& warning : headWarnings) {
    if (auto f = warn(ctl, warning)) return f;
  }
  // Replicates that draw nothing are copies of one another: STOCHASTIC was probably meant.
  if (ctl.replicates && ctl.reps > 1 && !cfg.draws()) {
    if (auto f = warn(ctl, Fault::sameReplicates(ctl.reps))) return f;
  }
  return std::nullopt;
}

}  // namespace plovanet
