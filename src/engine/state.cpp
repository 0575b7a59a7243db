#include "engine/state.h"

namespace plovanet {

Array allocArray(std::size_t count) {
  // calloc(0) may legitimately return null; ask for one element so success is unambiguous.
  return Array(static_cast<double*>(std::calloc(count == 0 ? 1 : count, sizeof(double))));
}

bool allocateState(RunState& rs, int nper, int mxgrps) {
  rs.nper = nper;
  rs.dim = 1 << nper;
  rs.mxgrps = mxgrps;
  const auto per = static_cast<std::size_t>(nper);
  for (Array* a : {&rs.pa, &rs.p2, &rs.sa, &rs.th, &rs.tcap, &rs.talive, &rs.tmark, &rs.tnew, &rs.tlost}) {
    *a = allocArray(per);
    if (!*a) return false;
  }
  rs.nx = allocArray(static_cast<std::size_t>(mxgrps) * static_cast<std::size_t>(rs.dim));
  return static_cast<bool>(rs.nx);
}

}  // namespace plovanet
