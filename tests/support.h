// Test helpers: in-memory files and hand-filled arrays.
#pragma once

#include <cmath>
#include <cstdio>
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

// The correlation of consecutive values: near 0, within a few 1 / sqrt(n), when independent.
inline double lag1Correlation(const std::vector<double>& v) {
  const std::size_t n = v.size() - 1;
  double mx = 0, my = 0, sxy = 0, sxx = 0, syy = 0;
  for (std::size_t i = 0; i < n; ++i)
    mx += v[i] / static_cast<double>(n), my += v[i + 1] / static_cast<double>(n);
  for (std::size_t i = 0; i < n; ++i) {
    sxy += (v[i] - mx) * (v[i + 1] - my);
    sxx += (v[i] - mx) * (v[i] - mx);
    syy += (v[i + 1] - my) * (v[i + 1] - my);
  }
  return sxy / std::sqrt(sxx * syy);
}

inline void fill(const Array& a, const std::vector<double>& v) {
  for (std::size_t i = 0; i < v.size(); ++i) a[i] = v[i];
}

}  // namespace plovanet::test
