#include "run/options.h"

#include <gtest/gtest.h>

namespace plovanet {

TEST(Options, KeywordsMatchAsSubstringsInTableOrder) {
  struct Case {
    std::vector<std::string> args;
    int jolly, capt, mark, determ, recruit, usef1, thetaflg, mxgrps;
    std::int32_t seed;
    std::string infile, outfile, console;
  };
  const std::string in = "plovanet.txt", out = "plovanet.out";
  const Case cases[] = {
      {{}, 0, 0, 0, 1, 0, 0, 0, 1, 12345, in, out, ""},
      {{"{CAPTURE|JOLLY|MARK}", "RECRUIT={BINOMIAL|NORMAL}"}, 1, 1, 1, 1, 0, 0, 0, 1, 12345, in, out,
       "{CAPTURE|JOLLY|MARK}\nRECRUIT={BINOMIAL|NORMAL}\n"},
      {{"EXP", "STOCHASTIC"}, 0, 0, 0, 0, 0, 0, 0, 1, 12345, in, out, "EXP\nSTOCHASTIC\n"},
      {{"STOCHASTIC", "-EXP"}, 0, 0, 0, 1, 0, 0, 0, 1, 12345, in, out, "STOCHASTIC\n-EXP\n"},
      {{"EXPSTOCHASTIC", "mark", "THETA=AGE"}, 0, 0, 0, 0, 0, 0, 0, 1, 12345, in, out, "EXPSTOCHASTIC\nmark\nTHETA=AGE\n"},
      {{"STOCHASTIC", "DETERM", "THETA=TIME", "USEF1"}, 0, 0, 0, 1, 0, 1, 1, 1, 12345, in, out,
       "STOCHASTIC\nDETERM\nTHETA=TIME\nUSEF1\n"},
      {{"RECRUIT=NORMAL RECRUIT=BINOMIAL"}, 0, 0, 0, 1, 2, 0, 0, 1, 12345, in, out, "RECRUIT=NORMAL RECRUIT=BINOMIAL\n"},
      {{"GROUPS=3", "SEED=abc"}, 0, 0, 0, 1, 0, 0, 0, 3, 0, in, out, "max groups=3\nGROUPS=3\nSEED=0\nSEED=abc\n"},
      {{"SEED= -42x", "GROUPS=+2147483647"}, 0, 0, 0, 1, 0, 0, 0, 2147483647, -42, in, out,
       "SEED=-42\nSEED= -42x\nmax groups=2147483647\nGROUPS=+2147483647\n"},
      {{"OUT=IN=x"}, 0, 0, 0, 1, 0, 0, 0, 1, 12345, "=IN=x", "IN=x", "OUT=IN=x\n"},
      {{"XIN=data.txt", "OUT=MARK.out", "IN="}, 0, 0, 1, 1, 0, 0, 0, 1, 12345, "", "MARK.out",
       "XIN=data.txt\nOUT=MARK.out\nIN=\n"},
      {{"OUT=" + std::string(511, 'a')}, 0, 0, 0, 1, 0, 0, 0, 1, 12345, in, std::string(511, 'a'),
       "OUT=" + std::string(511, 'a') + "\n"},
  };
  for (const Case& c : cases) {
    Control ctl;
    RunState rs;
    std::string con;
    for (const auto& a : c.args) EXPECT_FALSE(applyArgument(a, ctl, rs, con)) << a;
    SCOPED_TRACE(c.console);
    EXPECT_EQ(ctl.lay.jollyflg, c.jolly);
    EXPECT_EQ(ctl.lay.captflg, c.capt);
    EXPECT_EQ(ctl.lay.markflg, c.mark);
    EXPECT_EQ(rs.determ, c.determ);
    EXPECT_EQ(ctl.recruit, c.recruit);
    EXPECT_EQ(ctl.usef1, c.usef1);
    EXPECT_EQ(rs.thetaflg, c.thetaflg);
    EXPECT_EQ(rs.mxgrps, c.mxgrps);
    EXPECT_EQ(ctl.seed, c.seed);
    EXPECT_EQ(ctl.infile, c.infile);
    EXPECT_EQ(ctl.outfile, c.outfile);
    EXPECT_EQ(con, c.console);
  }
}

TEST(Options, UnusableValuesAreRefused) {
  for (const std::string& arg : std::vector<std::string>{"GROUPS=0", "GROUPS=", "GROUPS=-2", "GROUPS=2147483648", "SEED=2147483648",
                                "SEED=-2147483649", "SEED=99999999999999999999999", "IN=" + std::string(512, 'x'),
                                "OUT=" + std::string(512, 'x')}) {
    Control ctl;
    RunState rs;
    std::string con;
    EXPECT_TRUE(applyArgument(arg, ctl, rs, con)) << arg;
    EXPECT_EQ(con, "") << "nothing echoed for a refused argument";
  }
  EXPECT_EQ(parseLong32("-2147483648"), -2147483648LL);
}

}  // namespace plovanet
