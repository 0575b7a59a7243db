#include "engine/state.h"

namespace plovanet {

Array allocArray(std::size_t count) {
  // calloc(0) may legitimately return null; ask for one element so success is unambiguous.
  return Array(static_cast<double*>(std::calloc(count == 0 ? 1 : count, sizeof(double))));
}

DataSet blankDataSet(int nper) {
  const auto k = static_cast<std::size_t>(nper);
  DataSet d;
  for (std::vector<double>* v : {&d.n, &d.sa, &d.th, &d.pa, &d.p2, &d.f, &d.sef, &d.em, &d.ro})
    v->assign(k, 0.0);
  // Tag retention 1 for every interval; the last entry belongs to no interval.
  for (std::size_t i = 0; i + 1 < k; ++i) d.th[i] = 1.0;
  for (std::vector<double>* v : {&d.rr, &d.rs, &d.rsd, &d.ret}) v->assign(k, 0.0);
  d.fid.assign(k, 1.0);
  return d;
}

StateRates blankStateRates(int nper, std::size_t states) {
  const auto k = static_cast<std::size_t>(nper);
  StateRates r;
  for (std::vector<double>* v : {&r.n, &r.sa, &r.th, &r.pa, &r.p2}) v->assign(k, 0.0);
  r.obs.assign(k, 1.0);
  for (std::size_t i = 0; i + 1 < k; ++i) r.th[i] = 1.0;
  r.move.assign(states, std::vector<double>(k, 0.0));
  return r;
}

Totals::Totals(int nper) {
  const auto k = static_cast<std::size_t>(nper);
  for (std::vector<double>* v :
       {&n, &tcap, &talive, &tmark, &tnew, &tlost, &tin, &movedIn, &died, &reported, &emigrated})
    v->assign(k, 0.0);
}

}  // namespace plovanet
