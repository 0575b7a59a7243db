#include "output/records.h"

#include "output/lines.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace plovanet {

namespace {

// The history digits, most significant bit (occasion 1) first, kept up to date by counting.
struct Digits {
  static constexpr std::size_t kMax = kDigitsRoom;
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

int captureHistoryDigits(int nper) {
  int digits = 1;
  for (long long most = (1LL << nper) - 1; most >= 10; most /= 10) ++digits;
  return digits < 4 ? 4 : digits;
}

long writeHeaders(Writer& w, const FileForm& f) {
  const Layouts& lay = f.lay;
  const int nper = f.nper, groups = f.groups;
  if (lay.jollyflg) putf(w, "TITLE=SIMULATED DATA\nPERIODS=%d\nFORMAT=(%dI1,I6)\n", nper, nper);
  if (lay.captflg) {
    putf(w, "title='simulated data'\ntask read captures occasions=%d x matrix\n", nper);
    putf(w, "format='(a%d,1x,%df1.0)'\nread input data\n", captureHistoryDigits(nper) + 4, nper);
  }
  if (!lay.markflg) return -1;
  long countAt = -1;
  if (f.mark.title != nullptr) {
    putf(w, "proc title %s;\n", f.mark.title);
  } else {
    put(w, "proc title exp value data w/ het.;\n");
  }
  if (!f.mark.countLines) {
    putf(w, "proc chmatrix occasions=%d groups=%d etype=%s hist=%d nohist;\n", nper, groups, f.mark.etype,
         f.dim);
  } else {
    putf(w, "proc chmatrix occasions=%d groups=%d etype=%s", nper, groups, f.mark.etype);
    if (!f.mark.strata.empty())
      putf(w, " Nodes=101 strata=%d ICMeans", static_cast<int>(f.mark.strata.size()));
    // INDIVIDUAL: the values after each history, as MARK counts its individual covariates.
    if (!f.mark.icovariates.empty()) putf(w, " icovar=%d", static_cast<int>(f.mark.icovariates.size()));
    put(w, f.mark.strata.empty() ? " nohist hist=" : " NoHist hist=");
    w.flush();
    if (w.stream() != nullptr) countAt = std::ftell(w.stream());
    if (countAt < 0 && f.mark.strata.empty() && !f.mark.perAnimal) {
      // A stream that cannot seek (a pipe): a robust design's bound, 2^K, as its header gave it
      // before it counted its lines.
      putf(w, "%d;\n", f.dim);
    } else {
      put(w, std::string(kCountField, ' '));
      put(w, "\n");
    }
  }
  for (int g = 1; g <= groups; ++g) putf(w, "   glabel(%d)=Group %d;\n", g, g);
  if (!f.mark.intervals.empty() || f.mark.bareIntervals) {
    put(w, "   time interval ");
    for (const double i : f.mark.intervals) {
      put(w, " ");
      putNumber(w, i);
    }
    put(w, ";\n");
  }
  if (!f.mark.strata.empty()) {
    put(w, "   strata=");
    for (std::size_t s = 0; s < f.mark.strata.size(); ++s) {
      if (s > 0) put(w, " ");
      put(w, std::string_view(&f.mark.strata[s], 1));
    }
    put(w, ";\n");
  }
  if (!f.mark.icovariates.empty()) {
    put(w, "   icovariates");
    for (const std::string& name : f.mark.icovariates) {
      put(w, " ");
      put(w, name);
    }
    put(w, ";\n");
  }
  return countAt;
}

bool fillLineCount(std::FILE* fp, long at, std::uint64_t lines) {
  char field[kCountField + 1];
  std::snprintf(field, sizeof field, "%-*s", kCountField, (std::to_string(lines) + ";").c_str());
  if (fp == nullptr || std::fseek(fp, at, SEEK_SET) != 0) return false;
  const bool ok = std::fwrite(field, 1, kCountField, fp) == kCountField;
  return std::fseek(fp, 0, SEEK_END) == 0 && ok && std::fflush(fp) == 0;
}

namespace {

void putCsv(Sink& s, int group, std::string_view digits, double x) {
  Writer& c = *s.csv;
  put(c, s.lead);
  putPadded(c, group, 1, ' ');
  put(c, ",");
  put(c, digits);
  put(c, ",");
  putNumber(c, x);
  put(c, "\n");
}

}  // namespace

bool putRecord(Sink& s, int h, std::string_view digits, double x) {
  const int caught = timesCaught(static_cast<std::uint32_t>(h));
  if (x > s.outfreq) {
    Writer& w = *s.out;
    if (s.captflg) {
      const double reps = std::floor(x + 0.5);
      if (!(reps < INT_MAX)) return false;  // billions of identical lines help no one
      const int count = static_cast<int>(reps);
      // The identifier fills exactly the width the header declares. Up to 13 occasions that is
      // the four-digit history number of old; from 14 on, the history number takes the digits the
      // largest one needs and the line number wraps within its four (..., 9999, 0000, 0001, ...).
      const int hd = captureHistoryDigits(static_cast<int>(digits.size()));
      for (int r = 1; r <= count && !writeFailed(w); ++r) {
        putPadded(w, h, hd, '0');
        putPadded(w, hd > 4 ? r % 10000 : r, 4, '0');
        put(w, " ");
        put(w, digits);
        put(w, " ");
        putFrequency(w, x, s.decimals);
        put(w, ";\n");
      }
    } else if (s.decimals != 4) {
      put(w, digits);
      put(w, " ");
      putFrequency(w, x, s.decimals);
      put(w, ";\n");
    } else {
      // The common line, written straight into the buffer: digits, blank, frequency, ";\n".
      char* const p = w.reserve(kDigitsRoom + kMaxFixed + 16).data();
      w.commit(
          static_cast<std::size_t>(formatLine(p, digits.data(), static_cast<int>(digits.size()), x) - p));
    }
    s.outCaptures += caught * x;
    ++s.outLines;
  }
  if (s.csv != nullptr && x > s.minfreq) {
    putCsv(s, 1, digits, x);
    s.csvCaptures += caught * x;
  }
  return true;
}

void putGroupLine(Sink& s, std::string_view digits, const double* x, int groups) {
  double sum = 0.0;  // as the walks and the table writer sum the columns
  for (int g = 0; g < groups; ++g) sum += x[g];
  // Every character but '0' is a capture: '1', or a state's letter or 'U'.
  const auto caught =
      static_cast<double>(digits.size()) - static_cast<double>(std::count(digits.begin(), digits.end(), '0'));
  if (sum > s.outfreq) {
    Writer& w = *s.out;
    put(w, digits);
    for (int g = 0; g < groups; ++g) {
      put(w, " ");
      putFrequency(w, x[g], s.decimals);
    }
    put(w, ";\n");
    s.outCaptures += caught * sum;
    ++s.outLines;
  }
  if (s.csv == nullptr || !(sum > s.minfreq)) return;
  for (int g = 0; g < groups; ++g) putCsv(s, g + 1, digits, x[g]);
  s.csvCaptures += caught * sum;
}

int writeRecordBlock(Sink& s, const double* row, int nper) {
  const double threshold = sinkThreshold(s);
  Digits digits(nper);
  for (int h = 1; h < (1 << nper); ++h) {
    digits.increment();
    if (!(row[h] > threshold)) continue;
    if (!putRecord(s, h, digits.view(), row[h])) return h;
    if (writeFailed(*s.out) || (s.csv != nullptr && writeFailed(*s.csv))) break;  // the caller reports it
  }
  return 0;
}

void writeGroupTable(Sink& s, const std::vector<const double*>& rows) {
  const double threshold = sinkThreshold(s);
  Digits digits(s.nper);
  std::vector<double> x(rows.size());
  for (int h = 1; h < (1 << s.nper); ++h) {
    digits.increment();
    double sum = 0.0;
    for (std::size_t g = 0; g < rows.size(); ++g) sum += x[g] = rows[g] != nullptr ? rows[g][h] : 0.0;
    if (sum > threshold) putGroupLine(s, digits.view(), x.data(), static_cast<int>(rows.size()));
    if (writeFailed(*s.out) || (s.csv != nullptr && writeFailed(*s.csv))) break;  // the caller reports it
  }
}

std::string historyDigits(std::uint32_t h, int nper) {
  std::string d;
  for (int k = nper - 1; k >= 0; --k) d += ((h >> k) & 1U) != 0 ? '1' : '0';
  return d;
}

}  // namespace plovanet
