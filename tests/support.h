// Test helpers: in-memory files, random rates, engine comparisons.
#pragma once

#include <cmath>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/state.h"

namespace plovanet::test {

// Text written to a FILE* that the test reads back afterwards.
struct MemFile {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* fp = open_memstream(&data, &size);
  std::string text() {
    std::fflush(fp);
    return {data, size};
  }
  ~MemFile() {
    if (fp != nullptr) std::fclose(fp);
    std::free(data);
  }
};

// The correlation of values lag apart: near 0, within a few 1 / sqrt(n), when independent.
inline double lagCorrelation(const std::vector<double>& v, std::size_t lag = 1) {
  const std::size_t n = v.size() - lag;
  double mx = 0, my = 0, sxy = 0, sxx = 0, syy = 0;
  for (std::size_t i = 0; i < n; ++i)
    mx += v[i] / static_cast<double>(n), my += v[i + lag] / static_cast<double>(n);
  for (std::size_t i = 0; i < n; ++i) {
    sxy += (v[i] - mx) * (v[i + lag] - my);
    sxx += (v[i] - mx) * (v[i] - mx);
    syy += (v[i + lag] - my) * (v[i + lag] - my);
  }
  return sxy / std::sqrt(sxx * syy);
}

// Random rates of the four kinds for nper occasions, now and then 0, 1, or the waiting-time
// branch's 0.98; with wild, some NaN or outside 0..1. Tag retention by interval or by age at
// random.
inline void randomRates(std::mt19937& gen, bool wild, int nper, DataSet& ds, bool& thetaflg) {
  std::uniform_real_distribution<double> u(0, 1);
  for (std::vector<double>* a : {&ds.pa, &ds.p2, &ds.sa, &ds.th}) {
    for (int k = 0; k < nper; ++k) {
      double x = u(gen);
      if (wild && u(gen) < 0.05) x = u(gen) < 0.3 ? NAN : 2.4 * x - 0.7;
      if (u(gen) < 0.05) x = u(gen) < 0.5 ? 0.0 : 1.0;
      if (a == &ds.th && u(gen) < 0.3) x = u(gen) < 0.3 ? 0.98 : 1.0;  // tags kept
      (*a)[static_cast<std::size_t>(k)] = x;
    }
  }
  thetaflg = u(gen) < 0.5;
}

// The totals a data set adds to, compared between engines.
inline const std::vector<double> Totals::*const kTotals[] = {&Totals::tcap, &Totals::talive, &Totals::tmark,
                                                             &Totals::tnew, &Totals::tlost};

// Equal up to the rounding of two engines that add the same pieces in another order; scale is
// the size of the sums the pieces came from. NaN matches NaN.
inline bool near(double x, double y, double scale) {
  return (std::isnan(x) && std::isnan(y)) || x == y ||
         std::fabs(x - y) <= 1e-9 * (std::fabs(x) + std::fabs(y)) + 1e-12 * scale;
}

inline std::string slurp(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

}  // namespace plovanet::test
