#include "engine/caphis.h"

#include "engine/variates.h"

namespace plovanet {

namespace {

// Everything that stays fixed during one cohort's recursion, so each level passes one pointer.
struct Ctx {
  Stream& rng;
  int determ, nper, thetaflg;
  const double *pa, *p2, *sa, *th;
  double *tcap, *talive, *nx;
};

void follow(const Ctx& c, int hist, double x, int occ, int mark) {
  const int k = occ - 1;
  const double pcap = mark < 0 ? c.pa[k] : c.p2[k];
  const double ncap = binoml(c.rng, c.determ, x, pcap);
  c.tcap[k] += ncap;
  const double nmiss = x - ncap;
  if (occ >= c.nper) {
    c.nx[hist | 1] += ncap;
    c.nx[hist] += nmiss;
    return;
  }
  const double scap = binoml(c.rng, c.determ, ncap, c.sa[k]);
  c.talive[occ] += scap;
  const int mocc = mark < 0 ? occ : mark;
  const double kcap = binoml(c.rng, c.determ, scap, c.thetaflg != 0 ? c.th[k] : c.th[occ - mocc]);
  const double lcap = scap - kcap;
  const int hcap = hist | (1 << (c.nper - occ));
  c.nx[hcap] += ncap - kcap;
  if (kcap > 0) follow(c, hcap, kcap, occ + 1, mocc);
  if (lcap > 0) follow(c, 0, lcap, occ + 1, -1);

  const double smiss = binoml(c.rng, c.determ, nmiss, c.sa[k]);
  c.talive[occ] += smiss;
  double kmiss = smiss;
  if (mark >= 0) kmiss = binoml(c.rng, c.determ, smiss, c.thetaflg != 0 ? c.th[k] : c.th[occ - mark]);
  const double lmiss = smiss - kmiss;
  c.nx[hist] += nmiss - kmiss;
  if (kmiss > 0) follow(c, hist, kmiss, occ + 1, mark);
  if (lmiss > 0) follow(c, 0, lmiss, occ + 1, -1);
}

}  // namespace

void caphis(RunState& rs, Stream& rng, int hist, double x, int occ, int mark) {
  const Ctx c{rng,         rs.determ,   rs.nper,       rs.thetaflg,     rs.pa.get(),   rs.p2.get(),
              rs.sa.get(), rs.th.get(), rs.tcap.get(), rs.talive.get(), rs.row(rs.grp)};
  follow(c, hist, x, occ, mark);
}

}  // namespace plovanet
