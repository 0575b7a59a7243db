#include "output/writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support.h"

namespace plovanet {

namespace {

template <typename Put>
std::string written(Put put) {
  test::MemFile mem;
  Writer w = makeWriter(mem.fp, 1);  // smallest buffer: many flushes
  put(w);
  flush(w);
  return mem.text();
}

std::string printed(const char* fmt, double v) {
  char tmp[512];
  std::snprintf(tmp, sizeof tmp, fmt, v);
  return tmp;
}

}  // namespace

TEST(Writer, FixedNumbersMatchPrintfByteForByte) {
  std::vector<double> values = {0.0,
                                -0.0,
                                5e-05,
                                0.00005000000000000001,
                                0.03125,
                                0.03135,
                                2.5,
                                1.00005,
                                0.12345,
                                123456789.12345,
                                1e15 + 0.5,
                                9007199254740993.0,
                                1e300,
                                -1e300,
                                -3.99995,
                                INFINITY,
                                -INFINITY,
                                NAN,
                                -NAN,
                                4.9e-324,
                                1.7976931348623157e308};
  std::mt19937_64 gen(3);
  for (int i = 0; i < 20000; ++i) {
    const double mag = std::pow(10.0, std::uniform_real_distribution<double>(-6, 12)(gen));
    values.push_back(std::uniform_real_distribution<double>(-1, 1)(gen) * mag);
    values.push_back(std::round(values.back() * 1e5) / 1e5);        // near the 4-decimal ties
    values.push_back(static_cast<double>(gen() % 1000000) / 32.0);  // exact binary ties
  }
  std::string want;
  for (double v : values) want += printed("%12.4lf\n", v);
  const std::string got = written([&](Writer& w) {
    for (double v : values) {
      putFixed(w, v, 12);
      put(w, "\n");
    }
  });
  std::size_t at = 0;
  while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
  const std::size_t line = want.rfind('\n', at) == std::string::npos ? 0 : want.rfind('\n', at) + 1;
  EXPECT_EQ(got.substr(line, 40), want.substr(line, 40));
  EXPECT_EQ(got.size(), want.size());
}

}  // namespace plovanet
