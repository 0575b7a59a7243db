// The capture-history generator: follows one batch of animals from an occasion to the last one,
// splitting it into captured/uncaptured, surviving/dead and tag keepers/losers, and adds every
// ending career to the history table. History h has bit (nper - k) set when caught at occasion k.
#pragma once

#include "engine/state.h"
#include "engine/stream.h"
#include "engine/tally.h"
#include "engine/variates.h"

namespace plovanet {

// Straightforward recursion, one call per piece, draws in the model's order. Used for
// stochastic runs (where the draw order is observable) and as the reference for the fast
// expected-value engines. mark: -1 unmarked, otherwise the marking occasion (sign tested only).
// Adds every ending career to t and the totals of the pieces it follows to tot.
void caphis(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Tally& t, int hist, double x,
            int occ, int mark);

namespace detail {

// Everything that stays fixed during one cohort's recursion, so each level passes one pointer.
template <class Sink>
struct Ctx {
  Stream& rng;
  bool determ;
  int nper;
  bool thetaflg;
  const double *pa, *p2, *sa, *th;
  double *tcap, *talive, *tmark, *tnew, *tlost;
  Sink& sink;
  void add(int h, double x) const { sink.add(h, x); }
};

template <class Sink>
void follow(const Ctx<Sink>& c, int hist, double x, int occ, int mark) {
  const int k = occ - 1;
  // Every marked batch followed is a tagged animal present here; unmarked ones carry no tag.
  if (mark >= 0) c.tmark[k] += x;
  const double pcap = mark < 0 ? c.pa[k] : c.p2[k];
  const double ncap = binoml(c.rng, c.determ, x, pcap);
  c.tcap[k] += ncap;
  if (mark < 0) c.tnew[k] += ncap;
  const double nmiss = x - ncap;
  if (occ >= c.nper) {
    c.add(hist | 1, ncap);
    c.add(hist, nmiss);
    return;
  }
  const double scap = binoml(c.rng, c.determ, ncap, c.sa[k]);
  c.talive[occ] += scap;
  const int mocc = mark < 0 ? occ : mark;
  const double kcap = binoml(c.rng, c.determ, scap, c.thetaflg ? c.th[k] : c.th[occ - mocc]);
  const double lcap = scap - kcap;
  const int hcap = hist | (1 << (c.nper - occ));
  c.add(hcap, ncap - kcap);
  if (kcap > 0) follow(c, hcap, kcap, occ + 1, mocc);
  if (lcap > 0) {
    c.tlost[occ] += lcap;
    follow(c, 0, lcap, occ + 1, -1);
  }

  const double smiss = binoml(c.rng, c.determ, nmiss, c.sa[k]);
  c.talive[occ] += smiss;
  double kmiss = smiss;
  if (mark >= 0) kmiss = binoml(c.rng, c.determ, smiss, c.thetaflg ? c.th[k] : c.th[occ - mark]);
  const double lmiss = smiss - kmiss;
  c.add(hist, nmiss - kmiss);
  if (kmiss > 0) follow(c, hist, kmiss, occ + 1, mark);
  if (lmiss > 0) {
    c.tlost[occ] += lmiss;
    follow(c, 0, lmiss, occ + 1, -1);
  }
}

}  // namespace detail

// The same recursion into any sink with add(h, x), such as a dense table row (tests).
template <class Sink>
void caphisInto(const Design& d, const DataSet& ds, Totals& tot, Stream& rng, Sink& sink, int hist, double x,
                int occ, int mark) {
  const detail::Ctx<Sink> c{rng,
                            d.determ,
                            d.nper,
                            d.thetaflg,
                            ds.pa.data(),
                            ds.p2.data(),
                            ds.sa.data(),
                            ds.th.data(),
                            tot.tcap.data(),
                            tot.talive.data(),
                            tot.tmark.data(),
                            tot.tnew.data(),
                            tot.tlost.data(),
                            sink};
  detail::follow(c, hist, x, occ, mark);
}

}  // namespace plovanet
