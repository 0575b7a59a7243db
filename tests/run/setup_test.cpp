#include "run/setup.h"

#include <gtest/gtest.h>

namespace plovanet {

namespace {

int failAt = 0;  // the allocation that fails, counting from 1
int calls = 0;
Array failingAlloc(std::size_t n) {
  return ++calls == failAt ? Array() : allocArray(n);
}

}  // namespace

TEST(Setup, EveryAllocationFailureHasItsMessage) {
  const char* const want[] = {"n[5]", "tcap[5]", "talive[5]", "p[5]",     "p[5]",    "s[5]",
                              "f[5]", "sef[5]",  "th[5]",     "tmark[5]", "tnew[5]", "tlost[5]"};
  for (int k = 1; k <= 12; ++k) {
    plovanet::Run run;
    run.rs.nper = 5;
    run.rs.dim = 32;
    failAt = k;
    calls = 0;
    const auto fault = allocateRun(run, failingAlloc);
    ASSERT_TRUE(fault);
    EXPECT_EQ(message(*fault), std::string("error allocating memory for ") + want[k - 1] + "\n");
  }
  failAt = 0;
}

}  // namespace plovanet
