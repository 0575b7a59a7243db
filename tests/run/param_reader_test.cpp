#include "run/param_reader.h"

#include <gtest/gtest.h>

#include <cmath>

namespace plovanet {

namespace {

struct Source {
  std::string text;
  ParamReader in;
  explicit Source(std::string t) : text(std::move(t)) { in.infp = fmemopen(text.data(), text.size(), "r"); }
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
  struct IntCase {
    std::string text;
    std::optional<int> value;
  };
  const auto none = std::nullopt;
  const IntCase ints[] = {{" 3.5", 3}, {"-7", -7},           {"abc", none},
                          {"", none},  {"2147483648", none}, {digits, none}};
  for (const IntCase& c : ints) {
    Source s(c.text);
    EXPECT_EQ(readInt(s.in), c.value) << c.text.substr(0, 20);
  }
}

}  // namespace plovanet
