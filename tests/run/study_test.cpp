// Studies run by the real binary, checked against themselves: the TRUTH= totals against the
// histories written, and a stochastic study against the expected values of the same file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder holding plovanet.txt, where the binary runs.
struct Study {
  fs::path dir;
  explicit Study(const std::string& params) {
    static int made = 0;
    dir = fs::temp_directory_path() /
          ("plovanet_study_" + std::to_string(getpid()) + "_" + std::to_string(++made));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "plovanet.txt") << params;
  }
  ~Study() { fs::remove_all(dir); }
  Study(const Study&) = delete;
  Study& operator=(const Study&) = delete;

  // The exit status; the console goes nowhere.
  int run(const std::string& args) const {
    const std::string cmd =
        "cd '" + dir.string() + "' && '" + PLOVANET_BIN + "' " + args + " > /dev/null 2> /dev/null";
    return WEXITSTATUS(std::system(cmd.c_str()));
  }

  // Rows of a CSV file with a header, as text fields.
  std::vector<std::map<std::string, std::string>> csv(const std::string& name) const {
    std::ifstream in(dir / name);
    std::vector<std::map<std::string, std::string>> rows;
    std::vector<std::string> head, f;
    for (std::string line; std::getline(in, line); f.clear()) {
      std::stringstream ss(line);
      for (std::string x; std::getline(ss, x, ',');) f.push_back(x);
      if (head.empty()) {
        head = f;
        continue;
      }
      auto& row = rows.emplace_back();
      for (std::size_t i = 0; i < head.size() && i < f.size(); ++i) row[head[i]] = f[i];
    }
    return rows;
  }
};

double num(const std::map<std::string, std::string>& row, const char* key) {
  return std::stod(row.at(key));
}

// Four occasions, two data sets with tag loss (a group's two classes, or two blocks).
const char* const kTwoSets =
    "4\n300 80 80 80\n0.8 0.7 0.9\n0.9 0.8 0.7\n0.4 0.5 0.3 0.6\n0.5 0.6 0.4 0.7\n"
    "200 20 20 20\n0.6 0.7 0.6\n0.7 0.9 0.8\n0.3 0.3 0.3 0.3\n0.4 0.4 0.4 0.4\n";
// Four data sets: two groups of two classes each.
const std::string kFourSets = std::string(kTwoSets) +
                              "150 30 0 30\n0.9 0.9 0.9\n1 1 1\n0.1 0.2 0.1 0.2\n0.2 0.2 0.2 0.2\n"
                              "80 10 10 10\n0.5 0.8 0.5\n0.6 0.6 0.6\n0.8 0.7 0.8 0.7\n0.8 0.8 0.8 0.8\n";

// In a stochastic study, the histories written add up to the animals TRUTH= says were caught at
// each occasion, and those first caught there to the newly marked ones (animals that lost their
// tag come back unmarked, so they start a new history).
TEST(Study, RecordsAddUpToTheTruthPerOccasion) {
  struct Case {
    const char* name;
    const char* params;
    const char* args;
    int sets, classes, groups;
  };
  const Case cases[] = {
      {"two data sets", kTwoSets, "", 2, 1, 1},
      {"tag loss by time", kTwoSets, "THETA=TIME RNG=PCG", 2, 1, 1},
      {"two classes", kTwoSets, "CLASSES=2", 2, 2, 1},
      {"two groups of two classes", kFourSets.c_str(), "CLASSES=2 GROUPS=2 RNG=PCG", 4, 2, 2},
      {"recruitment",
       "4\n200 40 0 0\n0.8 0.8 0.8\n0.9 0.8 0.7\n0.5 0.5 0.5 0.5\n0.6 0.6 0.6 0.6\n0.2 0.3 0.25\n",
       "RECRUIT=BINOMIAL USEF1", 1, 1, 1},
  };
  const int nper = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Study s(c.params);
    ASSERT_EQ(s.run(std::string("STOCHASTIC SEED=41 REPS=6 TRUTH=t.csv CSV=h.csv ") + c.args), 0);
    // (rep, block, group, occasion) -> count
    using Key = std::tuple<int, int, int, int>;
    std::map<Key, double> capturedTruth, newTruth, capturedRecords, newRecords;
    for (const auto& r : s.csv("t.csv")) {
      const int dataset = static_cast<int>(num(r, "dataset"));
      const int block = c.groups == 1 ? (dataset - 1) / c.classes + 1 : 1;
      const Key k{static_cast<int>(num(r, "rep")), block, static_cast<int>(num(r, "group")),
                  static_cast<int>(num(r, "occasion"))};
      capturedTruth[k] += num(r, "captured");
      newTruth[k] += num(r, "newly_marked");
    }
    ASSERT_EQ(capturedTruth.size(), static_cast<std::size_t>(6 * nper * c.sets / c.classes));
    for (const auto& r : s.csv("h.csv")) {
      const std::string ch = r.at("ch");
      ASSERT_EQ(ch.size(), static_cast<std::size_t>(nper));
      const double x = num(r, "freq");
      ASSERT_EQ(x, std::floor(x));
      const auto first = ch.find('1');
      for (int j = 0; j < nper; ++j) {
        const Key k{static_cast<int>(num(r, "rep")), static_cast<int>(num(r, "dataset")),
                    static_cast<int>(num(r, "group")), j + 1};
        if (ch[static_cast<std::size_t>(j)] == '1') capturedRecords[k] += x;
        if (first == static_cast<std::size_t>(j)) newRecords[k] += x;
      }
    }
    for (const auto& kv : capturedTruth) capturedRecords[kv.first] += 0, newRecords[kv.first] += 0;
    EXPECT_EQ(capturedRecords, capturedTruth);
    EXPECT_EQ(newRecords, newTruth);
  }
}

// A whole stochastic study drawn from PCG32 against the expected-value run of the same file: the
// mean of every TRUTH= column over the replicates lies within 4 standard errors of its
// expectation, and the histories' mean frequencies against the CSV= file of expected values
// (with a small MINFREQ=) give a sum of squared z over the degrees of freedom near 1. The file
// has tag loss, binomial recruitment, rates near 0 and 1 and splits of more than 100 animals,
// where a sampler that is half an animal off or draws Poisson counts shows.
TEST(Study, StochasticStudyAgreesWithExpectedValues) {
  Study s(
      "6\n150 0 0 0 0 0\n0.8 0.97 0.7 0.9 0.85\n0.9 0.96 0.8 0.99 0.9\n"
      "0.3 0.04 0.5 0.96 0.2 0.4\n0.5 0.3 0.03 0.6 0.7 0.5\n0.5 0.6 0.3 0.5 0.4\n");
  const std::string common = "RECRUIT=BINOMIAL USEF1 OUT=/dev/null TRUTH=t.csv CSV=h.csv ";
  ASSERT_EQ(s.run(common + "EXP MINFREQ=1e-12"), 0);
  const auto wantTruth = s.csv("t.csv");
  const auto wantHistories = s.csv("h.csv");
  const int reps = 5000;
  ASSERT_EQ(s.run(common + "STOCHASTIC SEED=2027 RNG=PCG REPS=" + std::to_string(reps)), 0);

  // Mean and variance over the replicates of a sum kept per replicate.
  struct Moments {
    double sum = 0, sq = 0;
    void add(double x) { sum += x, sq += x * x; }
    double z(double want, int n) const {
      const double mean = sum / n, var = (sq - sum * mean) / (n - 1);
      return var > 0 ? (mean - want) / std::sqrt(var / n) : (mean == want ? 0 : INFINITY);
    }
  };
  const char* const columns[] = {"entrants", "alive", "marked", "captured", "newly_marked", "tags_lost"};
  std::map<std::pair<std::string, std::string>, Moments> truth;  // (occasion, column)
  for (const auto& r : s.csv("t.csv")) {
    for (const char* c : columns) truth[{r.at("occasion"), c}].add(num(r, c));
  }
  ASSERT_EQ(wantTruth.size(), 6U);
  for (const auto& r : wantTruth) {
    for (const char* c : columns) {
      EXPECT_LT(std::fabs(truth[{r.at("occasion"), c}].z(num(r, c), reps)), 4)
          << c << " at occasion " << r.at("occasion") << ", expected " << r.at(c);
    }
  }

  // A history missing from a replicate's rows has frequency 0 there.
  std::map<std::string, Moments> histories;
  for (const auto& r : s.csv("h.csv")) histories[r.at("ch")].add(num(r, "freq"));
  double chi2 = 0;
  int df = 0;
  for (const auto& r : wantHistories) {
    // Rare histories: too few animals over all replicates for a normal mean.
    if (num(r, "freq") * reps < 1000) continue;
    const double z = histories[r.at("ch")].z(num(r, "freq"), reps);
    chi2 += z * z;
    ++df;
  }
  ASSERT_GE(df, 30);
  EXPECT_NEAR(chi2 / df, 1, 4 * std::sqrt(2.0 / df)) << "over " << df << " histories";
}

}  // namespace
