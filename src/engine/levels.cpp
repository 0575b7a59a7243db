#include "engine/levels.h"

#include <bit>

namespace plovanet {

bool levelsAllocate(Levels& lv, int nper) {
  lv.size = std::size_t{1} << (nper > 0 ? nper - 1 : 0);
  lv.pool = allocArray(lv.size);
  return static_cast<bool>(lv.pool);
}

void levelsOccasion(Levels& lv, RunState& rs, int occ, double entrants) {
  double* pool = lv.pool.get();
  double* nx = rs.row(rs.grp);
  const int k = occ - 1;
  if (occ == 1) pool[0] = 0;
  if (entrants > 0) pool[0] += entrants;

  // Histories at this occasion carry bits of occasions 1..occ-1 only: hist = c << (nper-occ+1),
  // and bit b of c stands for occasion occ-1-b, so bit_width(c) is the age of the tag.
  const std::size_t count = std::size_t{1} << k;
  const double pa = rs.pa[k], p2 = rs.p2[k];
  double tcap = 0;

  if (occ >= rs.nper) {
    for (std::size_t c = 0; c < count; ++c) {
      const double x = pool[c];
      if (!(x > 0)) continue;
      const double ncap = x * (c != 0 ? p2 : pa);
      tcap += ncap;
      nx[2 * c + 1] += ncap;
      nx[2 * c] += x - ncap;
    }
    rs.tcap[k] += tcap;
    return;
  }

  const double s = rs.sa[k];
  const double* th = rs.th.get();
  const double thtime = th[k];
  const int shift = rs.nper - occ;  // hist = (2c) << shift, the capture bit is 1 << shift
  double alive = 0;
  double lost = 0;
  // Descending, so that the next occasion's entries 2c and 2c+1 overwrite only entries already
  // split (2c > c for c >= 1; entry 0 is read before it is written).
  for (std::size_t c = count; c-- > 0;) {
    const double x = pool[c];
    if (!(x > 0)) {
      pool[2 * c] = 0;
      pool[2 * c + 1] = 0;
      continue;
    }
    const double thc = rs.thetaflg != 0 ? thtime : th[std::bit_width(c)];
    const double ncap = x * (c != 0 ? p2 : pa);
    tcap += ncap;
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
    pool[2 * c + 1] = kcap > 0 ? kcap : 0;
    pool[2 * c] = kmiss > 0 ? kmiss : 0;
    if (lcap > 0) lost += lcap;
    if (lmiss > 0) lost += lmiss;
  }
  pool[0] += lost;  // tag losers start again unmarked with an empty history
  rs.tcap[k] += tcap;
  rs.talive[occ] += alive;
}

}  // namespace plovanet
