#include "output/trailers.h"

#include <string_view>

namespace plovanet {

namespace {

// Triangular parameter-index matrix: row q holds offset+q .. offset+m, left-aligned.
void putTriangle(Writer& w, int m, long long offset) {
  for (int q = 1; q <= m; ++q) {
    for (int j = q; j <= m; ++j) putPadded(w, offset + j, 4, ' ');
    put(w, ";\n");
  }
}

// head, v in full, tail: parameter numbers run to 2km, which need not fit an int.
void putNumbered(Writer& w, std::string_view head, long long v, std::string_view tail) {
  put(w, head);
  putPadded(w, v, 1, ' ');
  put(w, tail);
}

}  // namespace

void writeTrailers(Writer& w, const FileForm& f) {
  if (f.lay.captflg) {
    put(w, "task closure test\ntask model selection\ntask population estimate NULL JACKKNIFE MT\n");
  }
  if (!f.lay.markflg) return;
  if (!f.mark.estimates) {
    put(w, "proc stop;\n");
    return;
  }
  // Parameters 1..km are the groups' Phi, m per group in group order; km+1..2km their p.
  const int m = f.nper - 1;
  const long long groups = f.groups;
  const long long km = groups * m;
  put(w, "proc estimate link=Sin NOLOOP varest=2ndPart ;\nmodel={Phi(t) p(t) };\n");
  putNumbered(w, "   fixed=", groups, ";\n");
  // Each group's last survival cannot be told apart from its last capture, so it is fixed.
  for (long long g = 1; g <= groups; ++g) putNumbered(w, "   parm(", g * m, ")=1;\n");
  struct Matrix {
    const char* head;
    long long first;  // group g holds first + (g - 1) * m + 1 .. first + g * m
  };
  for (const Matrix& pim : {Matrix{" Phi rows=", 0}, Matrix{" p rows=", km}}) {
    for (long long g = 1; g <= groups; ++g) {
      putNumbered(w, "   group=", g, pim.head);
      putNumbered(w, "", m, " cols=");
      putNumbered(w, "", m, " Triang;\n");
      putTriangle(w, m, pim.first + (g - 1) * m);
    }
  }
  putNumbered(w, "   design matrix constraints=", 2 * km, " covariates=");
  putNumbered(w, "", 2 * km, " identity;\n");
  for (const char* label : {"   blabel(", "   rlabel("}) {
    for (long long i = 1; i <= km; ++i) putNumbered(w, label, i, ")=Phi;\n");
    for (long long i = km + 1; i <= 2 * km; ++i) putNumbered(w, label, i, ")=p;\n");
  }
  put(w, "proc stop;\n");
}

}  // namespace plovanet
