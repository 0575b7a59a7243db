// The multistate data set's tables, its cohorts by occasion and the history keys of its tallies.
#include <algorithm>

#include "engine/multistate/multistate.h"

namespace plovanet {

Symbols::Symbols(const std::string& states) {
  std::string sorted = states + "U";
  std::sort(sorted.begin(), sorted.end());
  chars = "0" + sorted;
  for (const char l : states) code.push_back(static_cast<unsigned>(chars.find(l)));
  unknown = static_cast<unsigned>(chars.find('U'));
}

int spellKey(HistoryKey key, int K, const Symbols& sym, char* digits) {
  int bits = 0;
  for (int k = 0; k < K; ++k) {
    const auto code = static_cast<unsigned>(key >> (4 * (K - 1 - k))) & 15U;
    digits[k] = sym.chars[code];
    bits = bits << 1 | (code != 0 ? 1 : 0);
  }
  return bits;
}

bool walkStateTallies(const std::vector<StateTally*>& columns, int K, const Symbols& sym, double threshold,
                      EmitFn emit) {
  const auto spell = [K, &sym](HistoryKey key, char* digits) { return spellKey(key, K, sym, digits); };
  return walkTalliesOf(columns, threshold, spell, emit);
}

StateTables::StateTables(const Design& d, const DataSet& ds)
    : K(d.nper), S(static_cast<int>(d.states.size())), thetaflg(d.thetaflg) {
  const auto cells = static_cast<std::size_t>(K) * static_cast<std::size_t>(S);
  for (std::vector<double>* v : {&n, &pa, &p2, &obs, &sa, &th}) v->assign(cells, 0.0);
  mv.assign(cells * static_cast<std::size_t>(S), 0.0);
  for (int s = 0; s < S; ++s) {
    const StateRates& x = ds.st[static_cast<std::size_t>(s)];
    for (int k = 0; k < K; ++k) {
      const auto uk = static_cast<std::size_t>(k);
      const std::size_t i = at(k, s);
      n[i] = x.n[uk];
      pa[i] = x.pa[uk];
      p2[i] = x.p2[uk];
      obs[i] = x.obs[uk];
      if (k + 1 >= K) continue;
      sa[i] = x.sa[uk];
      th[i] = x.th[uk];
      // Staying takes what the moves leave; never below 0, so a sum a rounding above 1 stays a rate.
      double out = 0;
      for (int to = 0; to < S; ++to) {
        if (to == s) continue;
        const double m = x.move[static_cast<std::size_t>(to)][uk];
        mv[i * static_cast<std::size_t>(S) + static_cast<std::size_t>(to)] = m;
        out += m;
      }
      mv[i * static_cast<std::size_t>(S) + static_cast<std::size_t>(s)] = std::max(0.0, 1 - out);
    }
  }
}

namespace {

// The end table: after the capture decision at L a tagged career ends by death, by tag loss,
// or by being missed at L+1 in the state it moved to and ending from there.
void endings(MultiCohorts& c) {
  const StateTables& r = c.r;
  const int K = r.K, S = r.S;
  const auto uS = static_cast<std::size_t>(S);
  c.end.assign(static_cast<std::size_t>(K) * static_cast<std::size_t>(K) * uS, 0.0);
  for (int f = 0; f < K; ++f) {
    double* row = &c.end[cellOf(f, 0, K) * uS];
    for (int s = 0; s < S; ++s) row[static_cast<std::size_t>(K - 1) * uS + static_cast<std::size_t>(s)] = 1;
    for (int L = K - 2; L >= f; --L) {
      const double* next = row + static_cast<std::size_t>(L + 1) * uS;
      for (int s = 0; s < S; ++s) {
        double on = 0;  // no capture from L+1 on, given alive and tagged then
        for (int to = 0; to < S; ++to)
          on += r.move(L, s, to) * (1 - r.p2[r.at(L + 1, to)]) * next[static_cast<std::size_t>(to)];
        const double w = r.keep(L, s, f);
        row[static_cast<std::size_t>(L) * uS + static_cast<std::size_t>(s)] =
            std::clamp((1 - w) + w * on, 0.0, 1.0);
      }
    }
  }
}

}  // namespace

void sumStates(Totals& tot, int from) {
  for (auto v :
       {&Totals::tcap, &Totals::talive, &Totals::tmark, &Totals::tnew, &Totals::tlost, &Totals::movedIn}) {
    std::vector<double>& sum = tot.*v;
    for (auto k = static_cast<std::size_t>(from); k < sum.size(); ++k) {
      sum[k] = 0;
      for (const Totals& ts : tot.states) sum[k] += (ts.*v)[k];
    }
  }
}

void multistateOccasion(MultiCohorts& c, Totals& tot, int k) {
  const StateTables& r = c.r;
  const int K = r.K, S = r.S;
  const auto uS = static_cast<std::size_t>(S);
  if (k == 0) {
    c.unmarked.assign(static_cast<std::size_t>(K) * uS, 0.0);
    c.u.assign(uS, 0.0);
    c.tagged.assign(static_cast<std::size_t>(K) * uS, 0.0);
    c.captures = 0;
    endings(c);
  }
  const auto uk = static_cast<std::size_t>(k);
  // The animals of each state at k, caught or missed.
  for (int s = 0; s < S; ++s) {
    const auto us = static_cast<std::size_t>(s);
    Totals& ts = tot.states[us];
    const std::size_t i = r.at(k, s);
    ts.n[uk] += r.n[i];
    ts.talive[uk] += r.n[i];
    const double u = c.u[us] + r.n[i];
    c.unmarked[i] = u;
    const double fresh = u * r.pa[i];
    double marked = 0;
    for (int f = 0; f < k; ++f) marked += c.tagged[cellOf(f, s, S)];
    const double caught = fresh + marked * r.p2[i];
    ts.tnew[uk] += fresh;
    ts.tmark[uk] += marked;
    ts.tcap[uk] += caught;
    c.captures += caught;
    c.tagged[cellOf(k, s, S)] = fresh;
    c.u[us] = u - fresh;
  }
  if (k + 1 >= K) return;
  // Over interval k: survival, tag retention and the move, into occasion k + 1.
  std::vector<double> u(uS, 0.0), lost(uS, 0.0), alive(uS, 0.0), stay(uS, 0.0);
  std::vector<double> tagged(static_cast<std::size_t>(k + 1) * uS, 0.0);
  for (int s = 0; s < S; ++s) {
    const auto us = static_cast<std::size_t>(s);
    const std::size_t i = r.at(k, s);
    const double unmarkedSurvivors = c.u[us] * r.sa[i];
    for (int to = 0; to < S; ++to) {
      const auto ut = static_cast<std::size_t>(to);
      const double m = r.move(k, s, to);
      u[ut] += unmarkedSurvivors * m;
      alive[ut] += unmarkedSurvivors * m;
      if (to == s) stay[ut] += unmarkedSurvivors * m;
    }
    for (int f = 0; f <= k; ++f) {
      const double x = c.tagged[cellOf(f, s, S)];
      if (x == 0) continue;
      const double survivors = x * r.sa[i];
      const double th = r.th[r.at(r.thetaflg ? k : k - f, s)];
      const double kept = survivors * th;
      for (int to = 0; to < S; ++to) {
        const auto ut = static_cast<std::size_t>(to);
        const double m = r.move(k, s, to);
        tagged[cellOf(f, to, S)] += kept * m;
        lost[ut] += survivors * (1 - th) * m;
        alive[ut] += survivors * m;
        if (to == s) stay[ut] += survivors * m;
      }
    }
  }
  std::copy(tagged.begin(), tagged.end(), c.tagged.begin());
  const std::size_t next = uk + 1;
  for (int s = 0; s < S; ++s) {
    const auto us = static_cast<std::size_t>(s);
    Totals& ts = tot.states[us];
    c.u[us] = u[us] + lost[us];
    ts.talive[next] += alive[us];
    ts.tlost[next] += lost[us];
    ts.movedIn[next] += alive[us] - stay[us];
  }
}

}  // namespace plovanet
