// A multistate study's named file as the run reads it: the design's states, and each data set's
// rates per state in DataSet's layout. Every refusal is a whole run (golden/multistate_refused).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "read_file.h"

namespace plovanet {

namespace {

// Every state's vectors, every entry, a line each, then the entrants of all states.
std::string rates(const DataSet& d, const std::string& states) {
  std::ostringstream o;
  const auto list = [&o](const std::string& name, const std::vector<double>& v) {
    o << ' ' << name;
    for (const double x : v) o << ' ' << x;
  };
  for (std::size_t t = 0; t < d.st.size(); ++t) {
    const StateRates& r = d.st[t];
    o << states[t] << ':';
    list("n", r.n), list("s", r.sa), list("th", r.th), list("p", r.pa), list("c", r.p2), list("obs", r.obs);
    for (std::size_t to = 0; to < r.move.size(); ++to) list(std::string("to") + states[to], r.move[to]);
    o << '\n';
  }
  list("n", d.n);
  return o.str() + '\n';
}

}  // namespace

TEST(NamedStates, RatesPerStateAndTheDesign) {
  struct Case {
    const char* file;
    const char* states;
    bool uncertain;
    std::vector<std::string> sets;  // rates() of each data set
  };
  const Case cases[] = {
      // Lettered and letter-less settings, c from p per state, the defaults.
      {"occasions 2\nstates A B\nentrants A 10 5\nentrants B 0 3\nsurvival A 0.8\nsurvival B 0.6\n"
       "p 0.5\nc B 0.7\nobserve A 0.9\nmove A B 0.25\n",
       "AB",
       true,
       {"A: n 10 5 s 0.8 0 th 1 0 p 0.5 0.5 c 0.5 0.5 obs 0.9 0.9 toA 0 0 toB 0.25 0\n"
        "B: n 0 3 s 0.6 0 th 1 0 p 0.5 0.5 c 0.7 0.7 obs 1 1 toA 0 0 toB 0 0\n n 10 8\n"}},
      // dataset copies every state; c stays p until given for that state, then stays.
      {"occasions 2\nstates A B\nentrants 5 0\nsurvival 0.8\np 0.5\ndataset\np A 0.2\nc B 0.3\n"
       "dataset\np 0.1\n",
       "AB",
       false,
       {"A: n 5 0 s 0.8 0 th 1 0 p 0.5 0.5 c 0.5 0.5 obs 1 1 toA 0 0 toB 0 0\n"
        "B: n 5 0 s 0.8 0 th 1 0 p 0.5 0.5 c 0.5 0.5 obs 1 1 toA 0 0 toB 0 0\n n 10 0\n",
        "A: n 5 0 s 0.8 0 th 1 0 p 0.2 0.2 c 0.2 0.2 obs 1 1 toA 0 0 toB 0 0\n"
        "B: n 5 0 s 0.8 0 th 1 0 p 0.5 0.5 c 0.3 0.3 obs 1 1 toA 0 0 toB 0 0\n n 10 0\n",
        "A: n 5 0 s 0.8 0 th 1 0 p 0.1 0.1 c 0.1 0.1 obs 1 1 toA 0 0 toB 0 0\n"
        "B: n 5 0 s 0.8 0 th 1 0 p 0.1 0.1 c 0.3 0.3 obs 1 1 toA 0 0 toB 0 0\n n 10 0\n"}},
      // A state never caught loses nothing by not being recorded; caught as marked, it does.
      {"occasions 2\nstates I O\nentrants I 10 0\nsurvival 0.8\np I 0.5\np O 0\nobserve O 0.5\n"
       "move I O 0.2\nmove O I 0.5\ndataset\nc O 0 0.2\n",
       "IO",
       true,
       {"I: n 10 0 s 0.8 0 th 1 0 p 0.5 0.5 c 0.5 0.5 obs 1 1 toI 0 0 toO 0.2 0\n"
        "O: n 0 0 s 0.8 0 th 1 0 p 0 0 c 0 0 obs 0.5 0.5 toI 0.5 0 toO 0 0\n n 10 0\n",
        "I: n 10 0 s 0.8 0 th 1 0 p 0.5 0.5 c 0.5 0.5 obs 1 1 toI 0 0 toO 0.2 0\n"
        "O: n 0 0 s 0.8 0 th 1 0 p 0 0 c 0 0.2 obs 0.5 0.5 toI 0.5 0 toO 0 0\n n 10 0\n"}},
      {"occasions 2\nstates I O\nentrants I 10 0\nsurvival 0.8\np I 0.5\np O 0\nobserve O 0.5\n",
       "IO",
       false,
       {"I: n 10 0 s 0.8 0 th 1 0 p 0.5 0.5 c 0.5 0.5 obs 1 1 toI 0 0 toO 0 0\n"
        "O: n 0 0 s 0.8 0 th 1 0 p 0 0 c 0 0 obs 0.5 0.5 toI 0 0 toO 0 0\n n 10 0\n"}},
      // Moves out of a state that add up to 1 but for rounding.
      {"occasions 2\nstates A B C D\nentrants A 1 0\nsurvival 1\np 1\nmove A B 0.34\nmove A C 0.56\n"
       "move A D 0.1\n",
       "ABCD",
       false,
       {"A: n 1 0 s 1 0 th 1 0 p 1 1 c 1 1 obs 1 1 toA 0 0 toB 0.34 0 toC 0.56 0 toD 0.1 0\n"
        "B: n 0 0 s 1 0 th 1 0 p 1 1 c 1 1 obs 1 1 toA 0 0 toB 0 0 toC 0 0 toD 0 0\n"
        "C: n 0 0 s 1 0 th 1 0 p 1 1 c 1 1 obs 1 1 toA 0 0 toB 0 0 toC 0 0 toD 0 0\n"
        "D: n 0 0 s 1 0 th 1 0 p 1 1 c 1 1 obs 1 1 toA 0 0 toB 0 0 toC 0 0 toD 0 0\n n 1 0\n"}},
  };
  for (const Case& c : cases) {
    const test::ReadFile r = test::readFile(c.file);
    ASSERT_EQ(r.fault, "") << c.file;
    EXPECT_EQ(r.d.states, c.states) << c.file;
    EXPECT_EQ(r.d.uncertain, c.uncertain) << c.file;
    ASSERT_EQ(r.sets.size(), c.sets.size()) << c.file;
    const DataSet blank = blankDataSet(r.d.nper);
    for (std::size_t i = 0; i < c.sets.size(); ++i) {
      EXPECT_EQ(rates(r.sets[i], r.d.states), c.sets[i]) << c.file;
      for (auto v : {&DataSet::sa, &DataSet::th, &DataSet::pa, &DataSet::p2, &DataSet::f, &DataSet::sef})
        EXPECT_EQ(r.sets[i].*v, blank.*v) << c.file;
    }
  }
}

}  // namespace plovanet
