// Individual animals' settings in a named file as the run reads them: what lands in the design,
// and data sets that read as they would without those lines. Every refusal is a whole run
// (golden/individual_refused).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "read_file.h"

namespace plovanet {

namespace {

// The settings as one line each: covariates (law, values), effects (rate, states, covariate,
// beta), then the sigmas of p, c, survival and retention and the nodes.
std::string settings(const Individuals& in) {
  std::ostringstream o;
  const char* laws[] = {"normal", "uniform", "categories"};
  const char* rates[] = {"p", "c", "survival", "retention", "move"};
  for (const Covariate& c : in.covariates) {
    o << c.name << ' ' << laws[static_cast<int>(c.law)];
    if (c.law == Law::categories) {
      for (const double x : c.probs) o << ' ' << x;
    } else {
      o << ' ' << c.a << ' ' << c.b;
    }
    o << '\n';
  }
  for (const Effect& e : in.effects) {
    o << rates[static_cast<int>(e.rate)];
    if (e.rate == Rate::move) o << ' ' << e.from << ' ' << e.to;
    o << ' ' << e.covariate << ' ' << e.beta << '\n';
  }
  o << "sigma";
  for (const double s : in.sigma) o << ' ' << s;
  o << (in.heterogeneity ? " set" : "") << " nodes " << in.nodes << '\n';
  return o.str();
}

// Every data set's vectors, a line each.
std::string dataSets(std::string text, Individuals& indiv) {
  const test::ReadFile r = test::readFile(std::move(text));
  if (!r.fault.empty()) return r.fault;
  indiv = r.d.indiv;
  std::ostringstream o;
  for (const DataSet& ds : r.sets) {
    for (const auto* v : {&ds.n, &ds.sa, &ds.th, &ds.pa, &ds.p2}) {
      for (const double x : *v) o << x << ' ';
    }
    for (const StateRates& rs : ds.st) {
      for (const auto& v : rs.move) {
        for (const double x : v) o << x << ' ';
      }
    }
    o << '\n';
  }
  return o.str();
}

}  // namespace

TEST(NamedIndividuals, SettingsLandInTheDesignAndLeaveTheDataSets) {
  struct Case {
    const char* file;
    const char* lines;  // the individual settings' lines, which stand after the file's first line
    const char* want;   // settings()
  };
  const Case cases[] = {
      // Three laws; an effect before its covariate's line and in another case; p's sigma is c's.
      {"occasions 3\nentrants 100 10 10\nsurvival 0.8\np 0.3\ndataset\np 0.2\n",
       "effect survival SEX -0.5\ncovariate mass normal 20 3\ncovariate age uniform 1 4\n"
       "covariate sex categories 0.25 0.75\neffect p mass 0.1\neffect p age 0.2\nheterogeneity p 1.5\n"
       "nodes 12\n",
       "mass normal 20 3\nage uniform 1 4\nsex categories 0.25 0.75\nsurvival 2 -0.5\np 0 0.1\np 1 0.2\n"
       "sigma 1.5 1.5 0 0 set nodes 12\n"},
      // c with a line of its own keeps it, whichever comes first; no covariate needed.
      {"occasions 2\nentrants 10 0\nsurvival 0.9\np 0.5\n",
       "heterogeneity c 0.5\nheterogeneity retention 0.25\nheterogeneity p 2\n",
       "sigma 2 0.5 0 0.25 set nodes 0\n"},
      // c alone moves c only.
      {"occasions 2\nentrants 10 0\nsurvival 0.9\np 0.5\n", "heterogeneity c 0\n",
       "sigma 0 0 0 0 set nodes 0\n"},
      // A multistate study's moves by the states' places; SD 0, one category of all.
      {"occasions 2\nstates A B\nentrants A 10 0\nsurvival 0.9\np 0.5\nmove A B 0.2\n",
       "covariate w normal 0 0\ncovariate k categories 0 1\neffect move B A k 1.5\neffect move A B w -1\n"
       "effect c w 1\n",
       "w normal 0 0\nk categories 0 1\nmove 1 0 1 1.5\nmove 0 1 0 -1\nc 0 1\nsigma 0 0 0 0 nodes 0\n"},
  };
  for (const Case& c : cases) {
    const std::string file = c.file;
    const std::size_t head = file.find('\n', file.find('\n') + 1) + 1;  // after occasions and one line more
    Individuals with, without;
    const std::string sets = dataSets(file.substr(0, head) + c.lines + file.substr(head), with);
    EXPECT_EQ(settings(with), c.want) << c.lines;
    EXPECT_EQ(sets, dataSets(file, without)) << c.lines;
    EXPECT_TRUE(with.active()) << c.lines;
    EXPECT_FALSE(without.active()) << c.lines;
  }
}

}  // namespace plovanet
