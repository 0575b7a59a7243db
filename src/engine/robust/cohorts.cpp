// The robust design's closed form: the unmarked animals inside and outside, and the tagged
// animals of each marking primary, followed primary by primary apart from the histories, and
// the shares the walk (walk.cpp) multiplies along a history.
#include <algorithm>
#include <cstddef>

#include "engine/robust/robust.h"
#include "engine/walk.h"

namespace plovanet {

std::vector<int> firstSecondaries(const std::vector<int>& sec) {
  std::vector<int> first(sec.size());
  int g = 0;
  for (std::size_t i = 0; i < sec.size(); ++i) {
    first[i] = g;
    g += sec[i];
  }
  return first;
}

double robustMissAll(const RobustCohorts& c, int prim0) {
  const auto i = static_cast<std::size_t>(prim0);
  double q = 1;
  for (int g = c.first[i]; g < c.first[i] + c.sec[i]; ++g) q *= 1 - c.pa[static_cast<std::size_t>(g)];
  return q;
}

double robustMeanCaptures(const RobustCohorts& c, int prim0) {
  const auto i = static_cast<std::size_t>(prim0);
  double notYet = 1, mean = 0;
  for (int g = c.first[i]; g < c.first[i] + c.sec[i]; ++g) {
    const auto ug = static_cast<std::size_t>(g);
    mean += notYet * c.pa[ug] + (1 - notYet) * c.p2[ug];
    notYet *= 1 - c.pa[ug];
  }
  return mean;
}

namespace {

double theta(const RobustCohorts& c, int i0, int f0) {
  return c.th[static_cast<std::size_t>(c.thetaflg ? i0 : i0 - f0)];
}

void start(RobustCohorts& c, const Design& d, const DataSet& ds) {
  const int P = d.nprim;
  const auto np = static_cast<std::size_t>(P);
  c.nper = d.nper;
  c.nprim = P;
  c.thetaflg = d.thetaflg;
  c.sec = d.sec;
  c.first = firstSecondaries(d.sec);
  c.pa = ds.pa;
  c.p2 = ds.p2;
  for (auto [to, from] : {std::pair{&c.sa, &ds.sa}, {&c.th, &ds.th}, {&c.em, &ds.em}, {&c.ro, &ds.ro}})
    to->assign(from->begin(), from->begin() + static_cast<std::ptrdiff_t>(np));
  c.uin = c.uout = c.never = c.captures = 0;
  c.unmarkedIn.assign(np, 0.0);
  c.tin.assign(np, 0.0);
  c.tout.assign(np, 0.0);
  c.keep.assign(np * np, 0.0);
  c.end.assign(np * np, 0.0);
  for (int f0 = 0; f0 < P; ++f0) {
    for (int i0 = f0; i0 + 1 < P; ++i0)
      c.keep[cellOf(f0, i0, P)] = c.sa[static_cast<std::size_t>(i0)] * theta(c, i0, f0);
    // A tagged career inside (gin) or outside (gout) after the capture decision of a primary
    // ends by death, by tag loss, or by passing the next primary uncaught and ending from there.
    // Written term by term as the ordinary engine's, so that one secondary per primary without
    // movement gives its numbers to the last bit.
    double gin = 1, gout = 1;
    c.end[cellOf(f0, P - 1, P)] = 1;
    for (int m = P - 2; m >= f0; --m) {
      const auto um = static_cast<std::size_t>(m);
      const double s = c.sa[um], t = theta(c, m, f0), q0 = robustMissAll(c, m + 1);
      const double e = c.em[um], r = c.ro[um];
      const double in = (1 - s) + s * (1 - t) + s * t * (1 - e) * q0 * gin + s * t * e * gout;
      const double out = (1 - s) + s * (1 - t) + s * t * (1 - r) * q0 * gin + s * t * r * gout;
      gin = std::clamp(in, 0.0, 1.0);
      gout = std::clamp(out, 0.0, 1.0);
      c.end[cellOf(f0, m, P)] = gin;
    }
  }
}

}  // namespace

void robustOccasion(RobustCohorts& c, const Design& d, const DataSet& ds, Totals& tot, int prim,
                    double entrants) {
  if (prim == 1) start(c, d, ds);
  const int P = c.nprim;
  const int k = prim - 1;
  const auto uk = static_cast<std::size_t>(k);
  if (entrants > 0) c.uin += entrants;
  // Caught at least once in the primary; one secondary's p as it stands, so that a design of
  // single secondaries gives the ordinary engine's numbers to the last bit.
  const double q0 = robustMissAll(c, k);
  const double any = c.sec[uk] == 1 ? c.pa[static_cast<std::size_t>(c.first[uk])] : 1 - q0;
  c.unmarkedIn[uk] = c.uin;
  const double ncap = c.uin * any;
  double tcap = ncap, tagged = 0, in = c.uin;
  for (std::size_t f = 0; f < uk; ++f) {
    tagged += c.tin[f] + c.tout[f];
    tcap += c.tin[f] * any;
    in += c.tin[f];
  }
  tot.tcap[k] += tcap;
  c.captures += in * robustMeanCaptures(c, k);
  tot.tnew[k] += ncap;
  tot.tmark[k] += tagged;
  tot.tin[k] += in;
  const double umiss = c.uin - ncap;
  if (prim >= P) {
    c.never += umiss + c.uout;
    c.uin = c.uout = 0;
    return;
  }
  const double s = c.sa[uk], e = c.em[uk], r = c.ro[uk];
  const double sc = ncap * s, smiss = umiss * s, sout = c.uout * s;
  const double kc = sc * theta(c, k, k);
  double alive = sc + smiss + sout;
  double lost = sc - kc;
  // Tag losers keep their place: the newly marked were caught, so inside.
  double lostIn = lost * (1 - e), lostOut = lost * e;
  c.never += (umiss + c.uout) - (smiss + sout);
  for (std::size_t f = 0; f < uk; ++f) {
    const double vi = c.tin[f] * s, vo = c.tout[f] * s;
    const double t = theta(c, k, static_cast<int>(f));
    const double ki = vi * t, ko = vo * t, li = vi - ki, lo = vo - ko;
    alive += vi + vo;
    lost += li + lo;
    lostIn += li * (1 - e) + lo * (1 - r);
    lostOut += li * e + lo * r;
    c.tin[f] = ki * (1 - e) + ko * (1 - r);
    c.tout[f] = ki * e + ko * r;
  }
  c.tin[uk] = kc * (1 - e);
  c.tout[uk] = kc * e;
  c.uin = (smiss * (1 - e) + sout * (1 - r)) + lostIn;
  c.uout = (smiss * e + sout * r) + lostOut;
  tot.talive[prim] += alive;
  tot.tlost[prim] += lost;
}

}  // namespace plovanet
