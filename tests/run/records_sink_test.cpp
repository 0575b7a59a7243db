#include "run/records_sink.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support.h"

namespace plovanet {

// The ANIMALS= file: its header names the design's values (effect only with heterogeneity, a
// state column per occasion only with states); the engine's rows follow the prefix of the data
// set being simulated, as TRUTH= counts them; a failed write ends the run naming the file.
TEST(RecordsSink, AnimalsFileHeaderPrefixAndWriteFault) {
  struct Case {
    const char* what;
    std::string states;
    bool heterogeneity;
    const char* header;
  };
  const Case cases[] = {
      {"covariates and heterogeneity", "", true, "rep,dataset,group,id,entered,mass,sex,effect,died,ch\n"},
      {"states, no random effect", "AB", false,
       "rep,dataset,group,id,entered,mass,sex,died,state1,state2,state3,ch\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Control ctl;
    ctl.determ = false;
    ctl.animalsfile = "animals.csv";
    Design d;
    d.nper = 3;
    d.dim = 8;
    d.determ = false;
    d.states = c.states;
    d.indiv.covariates = {{"mass", Law::normal, 20, 3, {}}, {"sex", Law::categories, 0, 0, {0.5, 0.5}}};
    d.indiv.heterogeneity = c.heterogeneity;
    d.indiv.log = true;
    const RunConfig cfg(ctl, d, 7);
    RecordsSink sink(cfg);
    EXPECT_EQ(sink.animalsHeader(), c.header);
    EXPECT_EQ(sink.animals(Replicate(cfg, 1)), nullptr);  // not asked for: nowhere to go

    test::MemFile mem;
    Writer w = makeWriter(mem.fp);
    sink.sides({}, {}, {&w, "animals.csv"});
    Replicate r(cfg, 2);
    r.dataset = 3;
    r.grp = 1;
    AnimalLog* log = sink.animals(r);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->prefix(), "2,3,2,");
    EXPECT_TRUE(log->write(log->prefix() + "1,1,19.500000,0,,0110\n"));
    flush(w);
    EXPECT_EQ(mem.text(), "2,3,2,1,1,19.500000,0,,0110\n");
    EXPECT_FALSE(sink.truth(r, Totals(d.nper)).has_value());

    w.fail();  // the disk filled up
    EXPECT_FALSE(log->write("2,3,2,2,1,21.000000,1,2,0100\n"));
    const auto fault = sink.truth(r, Totals(d.nper));
    ASSERT_TRUE(fault.has_value());
    EXPECT_EQ(fault->writtenFile(), "animals.csv");
    closeWriter(w);
    mem.fp = nullptr;  // closed with its writer
  }
}

}  // namespace plovanet
