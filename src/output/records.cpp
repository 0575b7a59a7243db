#include "output/records.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace plovanet {

namespace {

// The history digits, most significant bit (occasion 1) first, kept up to date by counting.
struct Digits {
  static constexpr std::size_t kMax = 32;  // room for the most occasions accepted
  std::array<char, kMax> d{};
  std::size_t n;
  explicit Digits(int nper) : n(static_cast<std::size_t>(nper)) { d.fill('0'); }
  void increment() {
    for (std::size_t i = n; i-- > 0;) {
      if (d[i] == '0') {
        d[i] = '1';
        return;
      }
      d[i] = '0';
    }
  }
  std::string_view view() const { return {d.data(), n}; }
};

}  // namespace

void writeHeaders(Writer& w, const Layouts& lay, int nper, int dim, int groups) {
  if (lay.jollyflg == 1) putFormatted(w, "TITLE=SIMULATED DATA\nPERIODS=%d\nFORMAT=(%dI1,I6)\n", nper, nper);
  if (lay.captflg == 1) {
    putFormatted(w, "title='simulated data'\ntask read captures occasions=%d x matrix\n", nper);
    putFormatted(w, "format='(a8,1x,%df1.0)'\nread input data\n", nper);
  }
  if (lay.markflg == 1) {
    put(w, "proc title exp value data w/ het.;\n");
    putFormatted(w, "proc chmatrix occasions=%d groups=%d", nper, groups);
    putFormatted(w, " etype=Live hist=%d nohist;\n", dim);
    for (int g = 1; g <= groups; ++g) putFormatted(w, "   glabel(%d)=Group %d;\n", g, g);
    put(w, "   time interval ");
    for (int i = 1; i < nper; ++i) put(w, " 1");
    put(w, ";\n");
  }
}

int writeRecordBlock(Writer& w, int captflg, const RunState& rs) {
  const double* row = rs.row(rs.grp);
  const auto nper = static_cast<std::size_t>(rs.nper);
  Digits digits(rs.nper);
  for (int h = 1; h < rs.dim; ++h) {
    digits.increment();
    const double x = row[h];
    if (!(x > kThreshold)) continue;
    if (captflg == 1) {
      const double reps = std::floor(x + 0.5);
      if (!(reps < INT_MAX)) return h;  // billions of identical lines help no one
      const int count = static_cast<int>(reps);
      for (int r = 1; r <= count && !w.failed; ++r) {
        putPadded(w, h, 4, '0');
        putPadded(w, r, 4, '0');
        put(w, " ");
        put(w, digits.view());
        put(w, " ");
        putFixed(w, x, 12);
        put(w, ";\n");
      }
      continue;
    }
    // The common line, written straight into the buffer: digits, blank, frequency, ";\n".
    char* p = reserve(w, nper + kMaxFixed + 16);
    std::memcpy(p, digits.d.data(), Digits::kMax);  // fixed-size copy; only nper bytes count
    p[nper] = ' ';
    p = formatFixed(p + nper + 1, x, 12);
    *p++ = ';';
    *p++ = '\n';
    w.len = static_cast<std::size_t>(p - w.buf.get());
  }
  return 0;
}

void writeGroupTable(Writer& w, const RunState& rs) {
  Digits digits(rs.nper);
  for (int h = 1; h < rs.dim; ++h) {
    digits.increment();
    double sum = 0.0;
    for (int g = 0; g < rs.mxgrps; ++g) sum += rs.row(g)[h];
    if (!(sum > kThreshold)) continue;
    put(w, digits.view());
    for (int g = 0; g < rs.mxgrps; ++g) {
      put(w, " ");
      putFixed(w, rs.row(g)[h], 12);
    }
    put(w, ";\n");
  }
}

}  // namespace plovanet
