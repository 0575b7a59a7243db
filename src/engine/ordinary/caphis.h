// The ordinary model's capture-history generator: follows one batch of animals from an occasion
// to the last one, splitting it into captured/uncaptured, surviving/dead and tag keepers/losers,
// and adds every ending career to the history table. History h has bit (nper - k) set when
// caught at occasion k.
#pragma once

#include <optional>

#include "engine/state.h"
#include "engine/stream.h"
#include "engine/tally.h"
#include "engine/variates.h"

namespace plovanet {

// Straightforward recursion, one call per piece, draws in the model's order. Used for
// stochastic runs (where the draw order is observable) and as the reference for the fast
// expected-value engines. markedAt: the occasion the batch was marked at; none when unmarked.
// Adds every ending career to t and the totals of the pieces it follows to tot.
void caphis(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Tally& t, Batch b,
            std::optional<int> markedAt);

namespace detail {

// One cohort's recursion: what stays fixed while it runs, and where it adds.
template <class Sink>
class Recursion {
 public:
  Recursion(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Sink& sink)
      : rng_(rng),
        mode_(modeOf(d)),
        nper_(d.nper),
        thetaflg_(d.thetaflg),
        pa_(ds.pa.data()),
        p2_(ds.p2.data()),
        sa_(ds.sa.data()),
        th_(ds.th.data()),
        tcap_(tot.tcap.data()),
        talive_(tot.talive.data()),
        tmark_(tot.tmark.data()),
        tnew_(tot.tnew.data()),
        tlost_(tot.tlost.data()),
        sink_(sink) {}

  void follow(Batch b, std::optional<int> markedAt) {
    const int occ = b.occasion, k = occ - 1, hist = b.history;
    const double x = b.count;
    // Every marked batch followed is a tagged animal present here; unmarked ones carry no tag.
    if (markedAt) tmark_[k] += x;
    const double ncap = binoml(rng_, mode_, x, markedAt ? p2_[k] : pa_[k]);
    tcap_[k] += ncap;
    if (!markedAt) tnew_[k] += ncap;
    const double nmiss = x - ncap;
    if (occ >= nper_) {
      sink_.add(hist | 1, ncap);
      sink_.add(hist, nmiss);
      return;
    }
    const double scap = binoml(rng_, mode_, ncap, sa_[k]);
    talive_[occ] += scap;
    const int mocc = markedAt.value_or(occ);
    const double kcap = binoml(rng_, mode_, scap, retention(k, occ, mocc));
    const double lcap = scap - kcap;
    const int hcap = hist | (1 << (nper_ - occ));
    sink_.add(hcap, ncap - kcap);
    if (kcap > 0) follow({hcap, kcap, occ + 1}, mocc);
    if (lcap > 0) {
      tlost_[occ] += lcap;
      follow({0, lcap, occ + 1}, std::nullopt);
    }

    const double smiss = binoml(rng_, mode_, nmiss, sa_[k]);
    talive_[occ] += smiss;
    double kmiss = smiss;
    if (markedAt) kmiss = binoml(rng_, mode_, smiss, retention(k, occ, *markedAt));
    const double lmiss = smiss - kmiss;
    sink_.add(hist, nmiss - kmiss);
    if (kmiss > 0) follow({hist, kmiss, occ + 1}, markedAt);
    if (lmiss > 0) {
      tlost_[occ] += lmiss;
      follow({0, lmiss, occ + 1}, std::nullopt);
    }
  }

 private:
  // Retention over interval k + 1 (0-based k) of a tag put on at occasion marked.
  double retention(int k, int occ, int marked) const { return thetaflg_ ? th_[k] : th_[occ - marked]; }

  Stream& rng_;
  Mode mode_;
  int nper_;
  bool thetaflg_;
  const double *pa_, *p2_, *sa_, *th_;
  double *tcap_, *talive_, *tmark_, *tnew_, *tlost_;
  Sink& sink_;
};

}  // namespace detail

// The same recursion into any sink with add(h, x), such as a dense table row (tests).
template <class Sink>
void caphisInto(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Sink& sink, Batch b,
                std::optional<int> markedAt) {
  detail::Recursion<Sink>(d, ds, tot, rng, sink).follow(b, markedAt);
}

}  // namespace plovanet
