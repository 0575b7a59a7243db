// Means of many exact draws against their expected values, in units of their standard errors:
// the check every model's draws take (the sum of z^2 over the degrees of freedom near 1, and no
// |z| far out), at fixed seeds so that the figures are the same every run.
#pragma once

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace plovanet::test {

class DrawMeans {
 public:
  // One replicate's values by name: histories, and totals named with a blank ("tcap 3").
  void add(const std::map<std::string, double>& drawn) {
    ++reps_;
    for (const auto& [name, x] : drawn) {
      auto& [s, s2] = sums_[name];
      s += x;
      s2 += x * x;
    }
  }

  struct Result {
    double chi2PerDf = 0, worst = 0;
    int df = 0;
    std::vector<std::string> impossible;  // drawn, but expected 0 or not at all
    std::vector<std::string> stuck;       // never varied, yet off their expected value
  };

  // Against the expected values of at least minExpected. Totals move together, so only the
  // histories' z add up to the chi-square; every z counts towards the worst.
  Result against(const std::map<std::string, double>& expected, double minExpected = 1) const {
    Result r;
    double chi = 0;
    const auto n = static_cast<double>(reps_);
    for (const auto& [name, e] : expected) {
      if (e < minExpected) continue;
      const auto it = sums_.find(name);
      const auto [s, s2] = it == sums_.end() ? std::pair{0.0, 0.0} : it->second;
      const double mean = s / n, var = (s2 - s * mean) / (n - 1);
      if (!(var > 0)) {
        if (mean != e) r.stuck.push_back(name);
        continue;  // entrants and the like
      }
      const double z = (mean - e) / std::sqrt(var / n);
      r.worst = std::max(r.worst, std::fabs(z));
      if (name.find(' ') != std::string::npos) continue;
      chi += z * z;
      ++r.df;
    }
    for (const auto& [name, s] : sums_) {
      const auto it = expected.find(name);
      if (s.first != 0 && (it == expected.end() || !(it->second > 0))) r.impossible.push_back(name);
    }
    r.chi2PerDf = r.df > 0 ? chi / r.df : 0;
    return r;
  }

 private:
  std::map<std::string, std::pair<double, double>> sums_;  // sum, sum of squares
  int reps_ = 0;
};

}  // namespace plovanet::test
