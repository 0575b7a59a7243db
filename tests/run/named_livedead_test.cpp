// A live-dead study's named file as the run reads it: the kind and the dead-recovery type in the
// design, survival's K-th value and the rates of the intervals in DataSet's layout. Every refusal
// is a whole run (golden/livedead_refused).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "read_file.h"

namespace plovanet {

namespace {

// The vectors a live-dead study reads, every entry.
std::string rates(const DataSet& d) {
  std::ostringstream o;
  const auto list = [&o](const char* name, const std::vector<double>& v) {
    o << name;
    for (const double x : v) o << ' ' << x;
    o << ';';
  };
  list("s", d.sa), list("c", d.p2), list("r", d.rr), list("F", d.fid), list("R", d.rs), list("R'", d.rsd);
  list("F'", d.ret);
  return o.str();
}

}  // namespace

TEST(NamedLiveDead, KindRatesAndDeadRecoveries) {
  struct Case {
    const char* file;
    Encounters encounters;
    bool recoveriesOnly;
    std::vector<std::string> sets;  // rates() of each data set
  };
  const Case cases[] = {
      // Without encounters survival keeps K - 1 values and the live-dead rates stay neutral.
      {"occasions 3\nentrants 10 0 0\nsurvival 0.8 0.7\np 0.5\nc 0\n",
       Encounters::none,
       false,
       {"s 0.8 0.7 0;c 0 0 0;r 0 0 0;F 1 1 1;R 0 0 0;R' 0 0 0;F' 0 0 0;"}},
      // Survival's K-th value is the interval after the last occasion; fidelity defaults to 1
      // and is taken per interval; c 0 throughout makes a dead-recovery study; the next data set
      // copies the rates.
      {"occasions 3\ninterval 1 2\nencounters livedead\nentrants 10 0 0\nsurvival 0.8 0.7 0.6\n"
       "p 0.5\nc 0\nreport 0.1 0.2 0.3\ndataset\nfidelity 0.9 0.8\n",
       Encounters::livedead,
       true,
       {"s 0.8 0.7 0.6;c 0 0 0;r 0.1 0.2 0.3;F 1 1 1;R 0 0 0;R' 0 0 0;F' 0 0 0;",
        "s 0.8 0.7 0.6;c 0 0 0;r 0.1 0.2 0.3;F 0.9 0.8 1;R 0 0 0;R' 0 0 0;F' 0 0 0;"}},
      // One value for all; a later data set that catches a marked animal alive: recaptures.
      {"occasions 2\nencounters barker\nentrants 10 0\nsurvival 0.8\np 0.5\nc 0\nreport 0.1\n"
       "resight 0.2\nresight_dead 0.3 0.4\nreturn 0.5\ndataset\nc 0 0.1\n",
       Encounters::barker,
       false,
       {"s 0.8 0.8;c 0 0;r 0.1 0.1;F 1 1;R 0.2 0.2;R' 0.3 0.4;F' 0.5 0;",
        "s 0.8 0.8;c 0 0.1;r 0.1 0.1;F 1 1;R 0.2 0.2;R' 0.3 0.4;F' 0.5 0;"}},
      // c is p until given: p above 0 is a live recapture. One occasion takes one survival.
      {"occasions 1\nencounters livedead\nentrants 10\nsurvival 0.5\np 0.5\n",
       Encounters::livedead,
       false,
       {"s 0.5;c 0.5;r 0;F 1;R 0;R' 0;F' 0;"}},
  };
  for (const Case& c : cases) {
    const test::ReadFile r = test::readFile(c.file);
    ASSERT_EQ(r.fault, "") << c.file;
    EXPECT_EQ(r.d.encounters, c.encounters) << c.file;
    EXPECT_EQ(r.d.recoveriesOnly, c.recoveriesOnly) << c.file;
    ASSERT_EQ(r.sets.size(), c.sets.size()) << c.file;
    for (std::size_t i = 0; i < c.sets.size(); ++i) EXPECT_EQ(rates(r.sets[i]), c.sets[i]) << c.file;
  }
}

}  // namespace plovanet
