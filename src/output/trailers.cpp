#include "output/trailers.h"

#include <cstdio>

namespace plovanet {

namespace {

// Triangular parameter-index matrix: row q holds offset+q .. offset+m, left-aligned.
void putTriangle(Writer& w, int m, int offset) {
  for (int q = 1; q <= m; ++q) {
    for (int j = q; j <= m; ++j) putPadded(w, offset + j, 4, ' ');
    put(w, ";\n");
  }
}

}  // namespace

void writeTrailers(Writer& w, const Layouts& lay, int nper) {
  if (lay.captflg == 1) {
    put(w, "task closure test\ntask model selection\ntask population estimate NULL JACKKNIFE MT\n");
  }
  if (lay.markflg != 1) return;
  const int m = nper - 1;
  put(w, "proc estimate link=Sin NOLOOP varest=2ndPart ;\nmodel={Phi(t) p(t) };\n   fixed=1;\n");
  putFormatted(w, "   parm(%d)=1;\n", m);
  putFormatted(w, "   group=1 Phi rows=%d cols=%d Triang;\n", m, m);
  putTriangle(w, m, 0);
  putFormatted(w, "   group=1 p rows=%d cols=%d Triang;\n", m, m);
  putTriangle(w, m, m);
  putFormatted(w, "   design matrix constraints=%d covariates=%d identity;\n", 2 * m, 2 * m);
  for (int i = 1; i <= m; ++i) putFormatted(w, "   blabel(%d)=Phi;\n", i);
  for (int i = 1; i <= m; ++i) putFormatted(w, "   blabel(%d)=p;\n", m + i);
  for (int i = 1; i <= m; ++i) putFormatted(w, "   rlabel(%d)=Phi;\n", i);
  for (int i = 1; i <= m; ++i) putFormatted(w, "   rlabel(%d)=p;\n", m + i);
  put(w, "proc stop;\n");
}

}  // namespace plovanet
