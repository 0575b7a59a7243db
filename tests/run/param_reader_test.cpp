#include "run/param_reader.h"

#include <gtest/gtest.h>

#include <cmath>

#include "run/setup.h"

namespace plovanet {

namespace {

struct Source {
  std::string text;
  ParamReader in;
  explicit Source(std::string t) : text(std::move(t)) {
    in.infp = fmemopen(text.data(), text.size(), "r");
  }
  ~Source() { std::fclose(in.infp); }
};

}  // namespace

TEST(ParamReader, ValuesReadLikeScanf) {
  struct Case {
    std::string text;
    std::vector<double> values;  // NaN marks a failed read
  };
  const std::string digits(3'000'000, '7');
  const Case cases[] = {
      {" 100\n\t0.8 -1 +2.5e1 .5 5. 1E-2", {100, 0.8, -1, 25, 0.5, 5, 0.01, NAN}},
      {"100,50", {100, NAN, NAN}},
      {"1ex 2", {1, NAN}},
      {"-x", {NAN, NAN}},
      {"0.000000000000000000001234 1e400 -1e-400", {1.234e-21, INFINITY, -0.0}},
      {"0." + std::string(400, '0') + "1e401", {1}},
      {digits + " 3", {INFINITY, 3}},
      {"0.1" + std::string(2'000'000, '0') + "1", {0.1}},
  };
  for (const Case& c : cases) {
    Source s(c.text);
    for (double want : c.values) {
      const auto got = readReal(s.in);
      if (std::isnan(want)) {
        EXPECT_FALSE(got) << c.text.substr(0, 40);
      } else {
        ASSERT_TRUE(got) << c.text.substr(0, 40);
        EXPECT_EQ(*got, want) << c.text.substr(0, 40);
        EXPECT_EQ(std::signbit(*got), std::signbit(want));
      }
    }
  }
  struct IntCase { std::string text; std::optional<int> value; };
  const IntCase ints[] = {{" 3.5", 3}, {"-7", -7}, {"abc", std::nullopt}, {"", std::nullopt},
                          {"2147483648", std::nullopt}, {digits, std::nullopt}};
  for (const IntCase& c : ints) {
    Source s(c.text);
    EXPECT_EQ(readInt(s.in), c.value) << c.text.substr(0, 20);
  }
}

TEST(ParamReader, DataSetsEchoAdjustAndEnd) {
  struct Case {
    int nper, recruit, usef1;
    std::string text, echo;
    int sets;
  };
  const Case cases[] = {
      {3, 0, 0, "100 50 50 0.8 0.8 1 1 0.5 0.5 0.5 0.5 0.5 0.5",
       "n= 100.000000 50.000000 50.000000\nsrv= 0.800000 0.800000\ntheta= 1.000000 1.000000\n"
       "p= 0.500000 0.500000 0.500000\nc= 0.500000 0.500000 0.500000\n", 1},
      {3, 0, 0, "-1 0 0 100 50 50", "", 0},
      {3, 0, 0, "0 0 0", "", 0},
      {3, 0, 0, "100 50", "", 0},
      {1, 0, 0, "100 0.5 0.6", "n= 100.000000\nsrv=\ntheta=\np= 0.500000\nc= 0.600000\n", 1},
      {2, 0, 0, "10 0 0.5 x", "n= 10.000000 0.000000\nsrv= 0.500000\ntheta= 1.000000\np= 0.000000 0.000000\n"
                               "c= 0.000000 0.000000\n", 1},
      {3, 1, 0, "100 120 60 0.8 0.8 1 1 0.5 0.5 0.5 0.5 0.5 0.5 0.7 0.3",
       "n= 100.000000 120.000000 60.000000\nsrv= 0.800000 0.800000\ntheta= 1.000000 1.000000\n"
       "p= 0.500000 0.500000 0.500000\nc= 0.500000 0.500000 0.500000\nf= 0.400000 0.300000\n", 1},
      {3, 1, 1, "100 0 0 0.8 0.8 1 1 0.5 0.5 0.5 0.5 0.5 0.5 -0.7 0.3",
       "n= 100.000000 0.000000 0.000000\nsrv= 0.800000 0.800000\ntheta= 1.000000 1.000000\n"
       "p= 0.500000 0.500000 0.500000\nc= 0.500000 0.500000 0.500000\nf= 0.000000 0.300000\n", 1},
      {4, 2, 1, "100 0 0 0 1 1 1 1 1 1 1 1 1 1 1 1 1 1 .2 .3 .4 0.1 0.2 0.3",
       "n= 100.000000 0.000000 0.000000 0.000000\nsrv= 1.000000 1.000000 1.000000\n"
       "theta= 1.000000 1.000000 1.000000\np= 1.000000 1.000000 1.000000 1.000000\n"
       "c= 1.000000 1.000000 1.000000 1.000000\nf= 0.200000 0.300000 0.400000\n"
       "se(f)= 0.200000 0.200000 0.300000\n", 1},
      {2, 2, 1, "100 0 1 1 1 1 1 1 .2 0.15",
       "n= 100.000000 0.000000\nsrv= 1.000000\ntheta= 1.000000\np= 1.000000 1.000000\nc= 1.000000 1.000000\n"
       "f= 0.200000\nse(f)= 0.150000\n", 1},
      {1, 1, 0, "100 0.5 0.5 -1", "n= 100.000000\nsrv=\ntheta=\np= 0.500000\nc= 0.500000\nf=\n", 1},
  };
  for (const Case& c : cases) {
    plovanet::Run run;
    run.rs.nper = c.nper;
    run.rs.dim = 1 << c.nper;
    run.ctl.recruit = c.recruit;
    run.ctl.usef1 = c.usef1;
    ASSERT_FALSE(allocateRun(run, allocArray));
    Source s(c.text);
    std::string con;
    int sets = 0;
    double n0 = 0;
    while (readDataSet(s.in, run.rs, run.ctl, con)) {
      if (sets++ == 0) n0 = run.ctl.n[0];
    }
    EXPECT_EQ(sets, c.sets) << c.text;
    EXPECT_EQ(con, c.echo) << c.text;
    if (c.recruit != 0 && c.usef1 == 0 && c.nper == 3) EXPECT_EQ(n0, 200) << "n[0] / p[0]";
  }
}

}  // namespace plovanet
