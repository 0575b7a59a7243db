#include "engine/ordinary/pooled.h"

#include <bit>

namespace plovanet {

std::size_t levelsSize(int nper) {
  return std::size_t{1} << (nper > 2 ? nper - 2 : 0);
}

bool levelsAllocate(Levels& lv, int nper) {
  lv.size = levelsSize(nper);
  lv.pool = allocArray(lv.size);
  return static_cast<bool>(lv.pool);
}

namespace {

// The last occasion: a batch with history hist is caught or not, and its careers end there.
inline void lastSplit(double* nx, std::size_t hist, double x, double p, double& tcap) {
  const double ncap = x * p;
  tcap += ncap;
  nx[hist | 1] += ncap;
  nx[hist] += x - ncap;
}

}  // namespace

void levelsOccasion(Levels& lv, const Design& d, const DataSet& ds, Totals& tot, int occ, double entrants,
                    double* nx) {
  double* pool = lv.pool.get();
  const int k = occ - 1;
  if (occ == 1) pool[0] = 0;
  if (entrants > 0) pool[0] += entrants;

  if (occ >= d.nper) {
    // Only the unmarked batch is left: the occasion before split every marked one to the end.
    double tcap = 0;
    if (pool[0] > 0) lastSplit(nx, 0, pool[0], ds.pa[k], tcap);
    tot.tcap[k] += tcap;
    tot.tnew[k] += tcap;
    return;
  }

  // Histories at this occasion carry bits of occasions 1..occ-1 only: hist = c << (nper-occ+1),
  // and bit b of c stands for occasion occ-1-b, so bit_width(c) is the age of the tag.
  const std::size_t count = std::size_t{1} << k;
  const double pa = ds.pa[k], p2 = ds.p2[k], s = ds.sa[k];
  const double* th = ds.th.data();
  const double thtime = th[k];
  const int shift = d.nper - occ;  // hist = (2c) << shift, the capture bit is 1 << shift
  // At the last occasion but one, the marked batches of the last occasion are split at once
  // instead of going through the pool, which then needs only a quarter of a table row.
  const bool fused = occ + 1 == d.nper;
  const double plast = fused ? ds.p2[occ] : 0;
  double tcap = 0, tlast = 0, alive = 0, lost = 0, unmarked = 0;
  double tnew = 0, tagged = 0, taggedLast = 0;  // truth totals: pieces > 0 only, as followed
  // Descending, so that the next occasion's entries 2c and 2c+1 overwrite only entries already
  // split (2c > c for c >= 1; entry 0 is read before it is written).
  for (std::size_t c = count; c-- > 0;) {
    const double x = pool[c];
    if (!(x > 0)) {
      if (!fused) pool[2 * c] = pool[2 * c + 1] = 0;
      continue;
    }
    const double thc = d.thetaflg ? thtime : th[std::bit_width(c)];
    const double ncap = x * (c != 0 ? p2 : pa);
    tcap += ncap;
    if (c != 0) {
      tagged += x;
    } else {
      tnew += ncap;
    }
    const double nmiss = x - ncap;
    const double scap = ncap * s;
    const double kcap = scap * thc;
    const double lcap = scap - kcap;
    const double smiss = nmiss * s;
    const double kmiss = c != 0 ? smiss * thc : smiss;
    const double lmiss = smiss - kmiss;
    alive += scap + smiss;
    nx[(2 * c + 1) << shift] += ncap - kcap;
    nx[(2 * c) << shift] += nmiss - kmiss;
    if (lcap > 0) lost += lcap;
    if (lmiss > 0) lost += lmiss;
    if (!fused) {
      pool[2 * c + 1] = kcap > 0 ? kcap : 0;
      pool[2 * c] = kmiss > 0 ? kmiss : 0;
      continue;
    }
    if (kcap > 0) {
      taggedLast += kcap;
      lastSplit(nx, 2 * (2 * c + 1), kcap, plast, tlast);
    }
    if (c == 0) {
      unmarked = kmiss > 0 ? kmiss : 0;  // joins the tag losers and the last entrants
    } else if (kmiss > 0) {
      taggedLast += kmiss;
      lastSplit(nx, 2 * (2 * c), kmiss, plast, tlast);
    }
  }
  pool[0] = (fused ? unmarked : pool[0]) + lost;  // tag losers start again unmarked, history empty
  tot.tcap[k] += tcap;
  if (fused) tot.tcap[occ] += tlast;
  tot.talive[occ] += alive;
  tot.tnew[k] += tnew;
  tot.tmark[k] += tagged;
  if (fused) tot.tmark[occ] += taggedLast;
  tot.tlost[occ] += lost;
}

}  // namespace plovanet
