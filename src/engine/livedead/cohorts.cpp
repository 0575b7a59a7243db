// The live-dead data set's cohorts by occasion, and the share of a tagged animal whose history
// shows nothing more, which the walk's records need.
#include <algorithm>

#include "engine/livedead/livedead.h"

namespace plovanet {

namespace {

// Animals inside and outside the study area.
struct Where {
  double in = 0, out = 0;
};

// Into next: survivors of interval j, inside stay with F, those outside come back with F'.
void moveOn(const DataSet& r, std::size_t j, Where x, Where& next) {
  next.in += x.in * r.fid[j] + x.out * r.ret[j];
  next.out += x.in * (1 - r.fid[j]) + x.out * (1 - r.ret[j]);
}

// quiet, backwards from the last occasion: after the capture at j, dying unseen, or losing the
// tag, or surviving tagged unseen and, at the next occasion, missed and quiet from there.
void tabulateQuiet(LiveDeadCohorts& c) {
  const int K = c.K;
  const DataSet& r = c.r;
  c.quiet.assign(static_cast<std::size_t>(K) * static_cast<std::size_t>(K) * 2, 0.0);
  for (int f = 0; f < K; ++f) {
    for (int j = K - 1; j >= f; --j) {
      const auto uj = static_cast<std::size_t>(j);
      const double deadQuiet = (1 - r.sa[uj]) * (1 - r.rr[uj]) * (1 - r.rsd[uj]);
      double* q = &c.quiet[(cellOf(f, j, K)) * 2];
      if (j + 1 == K) {
        q[0] = q[1] = std::clamp(deadQuiet + r.sa[uj] * (1 - r.rs[uj]), 0.0, 1.0);
        continue;
      }
      const double th = c.theta(j, f);
      const double* next = q + 2;
      const double inNext = (1 - r.p2[uj + 1]) * next[0], outNext = next[1];
      for (int out = 0; out < 2; ++out) {
        Where moved;
        moveOn(r, uj, {out == 0 ? 1.0 : 0.0, out == 1 ? 1.0 : 0.0}, moved);
        const double onward = moved.in * inNext + moved.out * outNext;
        q[out] =
            std::clamp(deadQuiet + r.sa[uj] * (1 - th) + r.sa[uj] * th * (1 - r.rs[uj]) * onward, 0.0, 1.0);
      }
    }
  }
}

}  // namespace

LiveDeadCohorts::LiveDeadCohorts(const Design& d, const DataSet& ds)
    : K(d.nper), thetaflg(d.thetaflg), barker(d.encounters == Encounters::barker), r(ds) {
  if (!barker) {
    std::fill(r.rs.begin(), r.rs.end(), 0.0);
    std::fill(r.rsd.begin(), r.rsd.end(), 0.0);
    std::fill(r.ret.begin(), r.ret.end(), 0.0);
  }
}

void liveDeadOccasion(LiveDeadCohorts& c, Totals& tot, int k, double entrants) {
  const int K = c.K;
  const DataSet& r = c.r;
  const auto uk = static_cast<std::size_t>(k);
  if (k == 0) {
    c.unmarked.assign(static_cast<std::size_t>(K), 0.0);
    c.tagged.assign(static_cast<std::size_t>(K) * 2, 0.0);
    c.uIn = c.uOut = 0;
    tabulateQuiet(c);
  }
  // Capture, in the study area only.
  c.uIn += entrants;
  c.unmarked[uk] = c.uIn;
  const double fresh = c.uIn * r.pa[uk];
  double marked = 0, markedIn = 0;
  for (int f = 0; f < k; ++f) {
    markedIn += c.tagged[cellOf(f, 0, 2)];
    marked += c.tagged[cellOf(f, 0, 2)] + c.tagged[cellOf(f, 1, 2)];
  }
  tot.tnew[uk] += fresh;
  tot.tmark[uk] += marked;
  tot.tcap[uk] += fresh + markedIn * r.p2[uk];
  c.tagged[cellOf(k, 0, 2)] = fresh;
  c.tagged[cellOf(k, 1, 2)] = 0;
  c.uIn -= fresh;
  // Over interval k: deaths (tagged ones reported), survival, tag retention, the move.
  const double s = r.sa[uk];
  tot.died[uk] += (c.uIn + c.uOut) * (1 - s);
  for (int f = 0; f <= k; ++f) {
    const double x = c.tagged[cellOf(f, 0, 2)] + c.tagged[cellOf(f, 1, 2)];
    tot.died[uk] += x * (1 - s);
    tot.reported[uk] += x * (1 - s) * r.rr[uk];
  }
  if (k + 1 >= K) return;
  Where u;
  double alive = (c.uIn + c.uOut) * s, lost = 0, inside = c.uIn * s;
  moveOn(r, uk, {c.uIn * s, c.uOut * s}, u);
  for (int f = 0; f <= k; ++f) {
    const double in = c.tagged[cellOf(f, 0, 2)] * s, out = c.tagged[cellOf(f, 1, 2)] * s;
    const double th = c.theta(k, f);
    alive += in + out;
    inside += in;
    lost += (in + out) * (1 - th);
    moveOn(r, uk, {in * (1 - th), out * (1 - th)}, u);
    Where t;
    moveOn(r, uk, {in * th, out * th}, t);
    c.tagged[cellOf(f, 0, 2)] = t.in;
    c.tagged[cellOf(f, 1, 2)] = t.out;
  }
  tot.emigrated[uk] += inside * (1 - r.fid[uk]);
  c.uIn = u.in;
  c.uOut = u.out;
  tot.talive[uk + 1] += alive;
  tot.tlost[uk + 1] += lost;
}

}  // namespace plovanet
