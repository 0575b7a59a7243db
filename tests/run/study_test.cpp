// Studies run by the real binary, checked against themselves: the TRUTH= totals against the
// histories written, replicates against each other, and heterogeneity classes against their
// classes run alone and against the expected values.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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
    std::string line;
    std::vector<std::string> head;
    auto split = [](const std::string& s) {
      std::vector<std::string> v;
      std::stringstream ss(s);
      for (std::string f; std::getline(ss, f, ',');) v.push_back(f);
      return v;
    };
    if (std::getline(in, line)) head = split(line);
    while (std::getline(in, line)) {
      const auto f = split(line);
      std::map<std::string, std::string> row;
      for (std::size_t i = 0; i < head.size() && i < f.size(); ++i) row[head[i]] = f[i];
      rows.push_back(row);
    }
    return rows;
  }

  // The records of an output file without layout lines: (block, history) -> one count per group
  // column. Histories rise within a block, so one that does not starts the next block.
  std::map<std::pair<int, std::string>, std::vector<double>> records(const std::string& name) const {
    std::ifstream in(dir / name);
    std::map<std::pair<int, std::string>, std::vector<double>> r;
    int block = 1;
    std::string last;
    for (std::string line; std::getline(in, line);) {
      std::istringstream ls(line);
      std::string digits;
      ls >> digits;
      if (!last.empty() && digits <= last) ++block;
      last = digits;
      std::vector<double>& cols = r[{block, digits}];
      for (double x = 0; ls >> x;) {
        cols.push_back(x);
        if (ls.peek() == ';') ls.get();
      }
    }
    return r;
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
const char* const kFourSets =
    "4\n300 80 80 80\n0.8 0.7 0.9\n0.9 0.8 0.7\n0.4 0.5 0.3 0.6\n0.5 0.6 0.4 0.7\n"
    "200 20 20 20\n0.6 0.7 0.6\n0.7 0.9 0.8\n0.3 0.3 0.3 0.3\n0.4 0.4 0.4 0.4\n"
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
      {"two groups", kTwoSets, "GROUPS=2", 2, 1, 2},
      {"two classes", kTwoSets, "CLASSES=2", 2, 2, 1},
      {"two groups of two classes", kFourSets, "CLASSES=2 GROUPS=2 RNG=PCG", 4, 2, 2},
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
    for (const auto& [k, want] : capturedTruth) {
      EXPECT_EQ(capturedRecords[k], want) << "rep " << std::get<0>(k) << " block " << std::get<1>(k)
                                          << " group " << std::get<2>(k) << " occasion " << std::get<3>(k);
      EXPECT_EQ(newRecords[k], newTruth[k]) << "rep " << std::get<0>(k) << " block " << std::get<1>(k)
                                            << " group " << std::get<2>(k) << " occasion " << std::get<3>(k);
    }
    EXPECT_EQ(capturedRecords.size(), capturedTruth.size()) << "records of a block or group TRUTH lacks";
  }
}

// Replicates are drawn from streams far apart: a statistic of one replicate says nothing about
// the next, and no two replicates give the same records.
TEST(Study, ReplicatesAreIndependent) {
  struct Case {
    const char* rng;
    int reps;
  };
  const Case cases[] = {{"CLASSIC", 300}, {"PCG", 300}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rng);
    Study s("4\n60 20 20 20\n0.8 0.7 0.9\n0.9 0.8 0.7\n0.4 0.5 0.3 0.6\n0.5 0.6 0.4 0.7\n");
    ASSERT_EQ(s.run("STOCHASTIC SEED=5 OUT=/dev/null TRUTH=t.csv CSV=h.csv RNG=" + std::string(c.rng) +
                    " REPS=" + std::to_string(c.reps)),
              0);
    std::vector<double> total(static_cast<std::size_t>(c.reps), 0.0);
    for (const auto& r : s.csv("t.csv"))
      total.at(static_cast<std::size_t>(num(r, "rep") - 1)) += num(r, "captured");
    std::vector<std::string> records(static_cast<std::size_t>(c.reps));
    for (const auto& r : s.csv("h.csv")) {
      records.at(static_cast<std::size_t>(num(r, "rep") - 1)) += r.at("ch") + ":" + r.at("freq") + " ";
    }
    const std::size_t n = total.size() - 1;
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < n; ++i) mx += total[i], my += total[i + 1];
    mx /= static_cast<double>(n);
    my /= static_cast<double>(n);
    double sxy = 0, sxx = 0, syy = 0;
    for (std::size_t i = 0; i < n; ++i) {
      sxy += (total[i] - mx) * (total[i + 1] - my);
      sxx += (total[i] - mx) * (total[i] - mx);
      syy += (total[i + 1] - my) * (total[i + 1] - my);
    }
    ASSERT_GT(sxx, 0);
    EXPECT_LT(std::fabs(sxy / std::sqrt(sxx * syy)), 4 / std::sqrt(static_cast<double>(n)));
    EXPECT_EQ(std::set<std::string>(records.begin(), records.end()).size(), records.size());
  }
}

// Expected values: a group's classes add into its column, to the printed digit, whatever engine
// a class needs (rates outside 0..1 take the table), and with two groups column by column.
TEST(Study, ClassesAddUpToTheClassesRunAlone) {
  struct Case {
    const char* name;
    std::vector<std::string> sets;  // the data sets, each with its own parameter file
    const char* args;               // for the pooled run
    const char* aloneArgs;          // for each data set run alone
    int groups;
  };
  const std::string head = "4\n";
  const std::vector<std::string> four = {
      "300 80 80 80\n0.8 0.7 0.9\n0.9 0.8 0.7\n0.4 0.5 0.3 0.6\n0.5 0.6 0.4 0.7\n",
      "200 20 20 20\n0.6 0.7 0.6\n0.7 0.9 0.8\n0.3 0.3 0.3 0.3\n0.4 0.4 0.4 0.4\n",
      "150 30 0 30\n0.9 0.9 0.9\n1 1 1\n0.1 0.2 0.1 0.2\n0.2 0.2 0.2 0.2\n",
      "80 10 10 10\n0.5 1.3 0.5\n0.6 0.6 0.6\n0.8 0.7 0.8 0.7\n0.8 0.8 0.8 0.8\n"};
  const Case cases[] = {
      {"one group", {four[0], four[1]}, "", "", 1},
      {"tag loss by time", {four[0], four[1]}, "THETA=TIME", "THETA=TIME", 1},
      {"two blocks, one with a rate above 1", four, "", "", 1},
      {"two groups", four, "GROUPS=2", "", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string all = head;
    for (const std::string& d : c.sets) all += d;
    Study pooled(all);
    ASSERT_EQ(pooled.run(std::string("SEED=1 CLASSES=2 OUT=o ") + c.args), 0);
    const auto got = pooled.records("o");
    // (block, history) -> column -> sum of its classes run alone
    std::map<std::pair<int, std::string>, std::vector<double>> want;
    for (std::size_t i = 0; i < c.sets.size(); ++i) {
      Study alone(head + c.sets[i]);
      ASSERT_EQ(alone.run(std::string("SEED=1 OUT=o ") + c.aloneArgs), 0);
      const int block = c.groups == 1 ? static_cast<int>(i / 2) + 1 : 1;
      const std::size_t col = c.groups == 1 ? 0 : i / 2;
      for (const auto& [h, x] : alone.records("o")) {
        auto& w = want[{block, h.second}];
        if (w.size() <= col) w.resize(col + 1, 0.0);
        w[col] += x.at(0);
      }
    }
    for (const auto& [h, w] : want) {
      ASSERT_TRUE(got.count(h)) << "block " << h.first << " history " << h.second;
      for (std::size_t g = 0; g < w.size(); ++g) {
        EXPECT_NEAR(got.at(h).at(g), w[g], 1.5e-4)
            << "block " << h.first << " history " << h.second << " column " << g + 1;
      }
    }
    EXPECT_EQ(got.size(), want.size());
  }
}

// Stochastic classes, each drawn in turn from the one stream: over many replicates the mean count
// of every history approaches the expected value of the mixture, block by block (one group) or
// column by column (two groups).
TEST(Study, StochasticClassesApproachTheMixture) {
  struct Case {
    const char* args;
    int reps;
  };
  const Case cases[] = {{"RNG=CLASSIC", 400}, {"RNG=PCG GROUPS=2", 400}};
  const char* const params =
      "4\n60 0 0 0\n1 1 1\n1 1 1\n0.2 0.2 0.2 0.2\n0.2 0.2 0.2 0.2\n"
      "40 0 0 0\n1 1 1\n1 1 1\n0.6 0.6 0.6 0.6\n0.6 0.6 0.6 0.6\n"
      "100 20 20 0\n0.8 0.8 0.8\n0.9 0.9 0.9\n0.3 0.4 0.3 0.4\n0.5 0.5 0.5 0.5\n"
      "50 10 10 0\n0.7 0.9 0.7\n1 1 1\n0.7 0.6 0.7 0.6\n0.7 0.7 0.7 0.7\n";
  using Key = std::tuple<std::string, std::string, std::string>;  // block, group, history
  auto key = [](const std::map<std::string, std::string>& r) {
    return Key{r.at("dataset"), r.at("group"), r.at("ch")};
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Study s(params);
    ASSERT_EQ(s.run(std::string("CLASSES=2 SEED=1 OUT=/dev/null CSV=e.csv ") + c.args), 0);
    std::map<Key, double> want;
    for (const auto& r : s.csv("e.csv")) want[key(r)] = num(r, "freq");
    ASSERT_EQ(s.run(std::string("CLASSES=2 STOCHASTIC SEED=19 OUT=/dev/null CSV=h.csv REPS=") +
                    std::to_string(c.reps) + " " + c.args),
              0);
    std::map<Key, std::pair<double, double>> moments;  // sum and sum of squares over the replicates
    for (const auto& r : s.csv("h.csv")) {
      auto& m = moments[key(r)];
      const double x = num(r, "freq");
      m.first += x;
      m.second += x * x;
    }
    ASSERT_EQ(want.size(), 30U) << "both blocks or both groups, every history";
    for (const auto& [k, w] : want) {
      const auto m = moments[k];
      const double mean = m.first / c.reps;
      // A rare history may never be drawn: its standard error is then taken as a Poisson count's.
      const double se =
          std::fmax(std::sqrt(std::fmax(m.second / c.reps - mean * mean, 0) / c.reps), std::sqrt(w / c.reps));
      EXPECT_NEAR(mean, w, 4 * se) << "block " << std::get<0>(k) << " group " << std::get<1>(k) << " history "
                                   << std::get<2>(k);
    }
    EXPECT_EQ(moments.size(), want.size()) << "a history drawn that has no expected count";
  }
}

}  // namespace
