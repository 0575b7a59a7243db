#include "engine/caphis.h"

#include "engine/variates.h"

namespace plovanet {

namespace {

struct RowSink {
  double* nx;
  void add(int h, double x) const { nx[h] += x; }
};

struct TallySink {
  Tally* t;
  void add(int h, double x) const { tallyAdd(*t, h, x); }
};

// Everything that stays fixed during one cohort's recursion, so each level passes one pointer.
template <class Sink>
struct Ctx {
  Stream& rng;
  int determ, nper, thetaflg;
  const double *pa, *p2, *sa, *th;
  double *tcap, *talive, *tmark, *tnew, *tlost;
  Sink sink;
};

template <class Sink>
void follow(const Ctx<Sink>& c, int hist, double x, int occ, int mark) {
  const int k = occ - 1;
  // Every marked batch followed is a tagged animal present here; unmarked ones carry no tag.
  if (mark >= 0 && c.tmark != nullptr) c.tmark[k] += x;
  const double pcap = mark < 0 ? c.pa[k] : c.p2[k];
  const double ncap = binoml(c.rng, c.determ, x, pcap);
  c.tcap[k] += ncap;
  if (mark < 0 && c.tnew != nullptr) c.tnew[k] += ncap;
  const double nmiss = x - ncap;
  if (occ >= c.nper) {
    c.sink.add(hist | 1, ncap);
    c.sink.add(hist, nmiss);
    return;
  }
  const double scap = binoml(c.rng, c.determ, ncap, c.sa[k]);
  c.talive[occ] += scap;
  const int mocc = mark < 0 ? occ : mark;
  const double kcap = binoml(c.rng, c.determ, scap, c.thetaflg != 0 ? c.th[k] : c.th[occ - mocc]);
  const double lcap = scap - kcap;
  const int hcap = hist | (1 << (c.nper - occ));
  c.sink.add(hcap, ncap - kcap);
  if (kcap > 0) follow(c, hcap, kcap, occ + 1, mocc);
  if (lcap > 0) {
    if (c.tlost != nullptr) c.tlost[occ] += lcap;
    follow(c, 0, lcap, occ + 1, -1);
  }

  const double smiss = binoml(c.rng, c.determ, nmiss, c.sa[k]);
  c.talive[occ] += smiss;
  double kmiss = smiss;
  if (mark >= 0) kmiss = binoml(c.rng, c.determ, smiss, c.thetaflg != 0 ? c.th[k] : c.th[occ - mark]);
  const double lmiss = smiss - kmiss;
  c.sink.add(hist, nmiss - kmiss);
  if (kmiss > 0) follow(c, hist, kmiss, occ + 1, mark);
  if (lmiss > 0) {
    if (c.tlost != nullptr) c.tlost[occ] += lmiss;
    follow(c, 0, lmiss, occ + 1, -1);
  }
}

template <class Sink>
void run(RunState& rs, Stream& rng, Sink sink, int hist, double x, int occ, int mark) {
  const Ctx<Sink> c{
      rng,         rs.determ,     rs.nper,         rs.thetaflg,    rs.pa.get(),   rs.p2.get(),    rs.sa.get(),
      rs.th.get(), rs.tcap.get(), rs.talive.get(), rs.tmark.get(), rs.tnew.get(), rs.tlost.get(), sink};
  follow(c, hist, x, occ, mark);
}

}  // namespace

void caphis(RunState& rs, Stream& rng, int hist, double x, int occ, int mark) {
  run(rs, rng, RowSink{rs.row(rs.grp)}, hist, x, occ, mark);
}

void caphis(RunState& rs, Stream& rng, Tally& t, int hist, double x, int occ, int mark) {
  run(rs, rng, TallySink{&t}, hist, x, occ, mark);
}

}  // namespace plovanet
