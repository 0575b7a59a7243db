// The command line, one argument at a time: what each keyword sets, and that every keyword is
// documented. (The values refused, the loose numbers and the near misses warned about are
// whole-run cases: golden/refused_values, loose_older_numbers, warn_resembling_keywords_more.)
#include "run/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "run/keywords.h"
#include "support.h"

namespace plovanet {

namespace {

// Every setting an argument may change, as "name=value" words: the one place that reads the
// fields.
std::vector<std::string> settings(const Control& c) {
  std::ostringstream o;
  o << "jolly=" << c.lay.jollyflg << " capture=" << c.lay.captflg << " mark=" << c.lay.markflg
    << " determ=" << c.determ << " recruit=" << static_cast<int>(c.recruit) << " usef1=" << c.usef1
    << " groups=" << c.mxgrps << " theta=" << c.thetaflg << " in=" << c.infile << " out=" << c.outfile
    << " seed=" << c.seed << " replicates=" << c.replicates << " reps=" << c.reps
    << " firstrep=" << c.firstrep << " rng=" << (c.rng == StreamKind::pcg32 ? "pcg" : "classic")
    << " rngGiven=" << c.rngGiven << " truth=" << c.truthfile << " csv=" << c.csvfile
    << " strict=" << c.strict << " classes=" << c.classes << " minfreq=" << c.minfreq;
  std::istringstream in(o.str());
  return {std::istream_iterator<std::string>(in), {}};
}

struct Applied {
  std::optional<Failure> failure;
  std::string changed;  // the settings that changed, as "name=value ..."
  std::string console;
};

Applied apply(const std::string& arg) {
  // The mode shows as a change only when the argument sets it: from either start it ends the same.
  Control ctl, other;
  ctl.determ = false;
  auto before = settings(ctl);
  test::MemFile con, ignored;
  Applied a{applyArgument(arg, ctl, con.fp), {}, con.text()};  // braces run in order
  applyArgument(arg, other, ignored.fp);
  auto after = settings(ctl);
  for (auto* words : {&before, &after}) {
    for (std::string& w : *words) {
      if (w.starts_with("determ=") && (words == &before || ctl.determ != other.determ)) w = "determ=?";
    }
  }
  for (std::size_t i = 0; i < after.size(); ++i) {
    if (after[i] != before[i]) a.changed += (a.changed.empty() ? "" : " ") + after[i];
  }
  return a;
}

// One section of a file of the sources, from its heading to the next.
std::string section(const char* file, const std::string& heading, const std::string& next) {
  const std::string text = test::slurp(std::string(PLOVANET_TESTS_DIR) + "/../" + file);
  const auto at = text.find(heading);
  return at == std::string::npos ? "" : text.substr(at, text.find(next, at + heading.size()) - at);
}

// The names in an entry's head, "NAME={A|B}" spelled out as NAME=A and NAME=B.
void addNames(std::string head, std::vector<std::string>& names) {
  for (char& ch : head) {
    if (ch == '`' || ch == '"' || ch == ',') ch = ' ';
  }
  std::istringstream in(head);
  for (std::string w; in >> w;) {
    const auto open = w.find('{');
    if (open == std::string::npos) names.push_back(w);
    for (auto at = open; at != std::string::npos && at + 1 < w.size(); at = w.find('|', at + 1)) {
      names.push_back(w.substr(0, open) + w.substr(at + 1, w.find_first_of("|}", at + 1) - at - 1));
    }
  }
}

}  // namespace

// Within one argument STOCHASTIC beats EXP and NORMAL beats BINOMIAL; the older keywords are
// found anywhere, in file names too, and SEED='s value is read five characters in; the newer ones
// only at the start, and their values are not searched.
TEST(Options, EachKeywordSetsWhatItShouldAndEchoes) {
  // clang-format off
  struct Case {
    const char *arg, *changed, *printed;  // printed before the echo
  } cases[] = {
      {"JOLLY", "jolly=1", ""}, {"CAPTURE", "capture=1", ""}, {"MARK", "mark=1", ""}, {"mark", "", ""},
      {"EXP", "determ=1", ""}, {"DETERM", "determ=1", ""}, {"STOCHASTIC", "determ=0", ""},
      {"EXP,STOCHASTIC", "determ=0", ""}, {"RECRUIT=BINOMIAL", "recruit=1", ""},
      {"RECRUIT=NORMAL+RECRUIT=BINOMIAL", "recruit=2", ""}, {"USEF1", "usef1=1", ""},
      {"THETA=TIME", "theta=1", ""}, {"THETA=AGE", "", ""}, {"NOPROMPT", "", ""},
      {"GROUPS=3", "groups=3", "max groups=3\n"}, {"GROUPS=2x", "groups=2", "max groups=2\n"},
      {"SEED=-2147483648", "seed=-2147483648", "SEED=-2147483648\n"}, {"xSEED=5", "seed=0", "SEED=0\n"},
      {"IN=a.txt", "in=a.txt", ""}, {"OUT=MARK.out", "mark=1 out=MARK.out", ""},
      {"REPS=10", "replicates=1 reps=10", ""}, {"FIRSTREP=3", "replicates=1 firstrep=3", ""},
      {"xREPS=5", "", ""}, {"RNG=PCG", "rng=pcg rngGiven=1", ""}, {"RNG=CLASSIC", "rngGiven=1", ""},
      {"CLASSES=2", "classes=2", ""}, {"TRUTH=t.csv", "truth=t.csv", ""},
      {"CSV=EXPERIMENT_MARK.csv", "csv=EXPERIMENT_MARK.csv", ""}, {"MINFREQ=1e-8", "minfreq=1e-08", ""},
      {"MINFREQ=0", "minfreq=0", ""}, {"STRICT", "strict=1", ""}, {"STRICTLY", "", ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    const Applied a = apply(c.arg);
    EXPECT_FALSE(a.failure) << c.arg;
    EXPECT_EQ(a.changed, c.changed) << c.arg;
    EXPECT_EQ(a.console, std::string(c.printed) + c.arg + "\n") << c.arg;
  }
}

// Each keyword heads an entry of README's table of keywords, of the manual's OPTIONS and of
// --help.
TEST(Options, EveryKeywordIsDocumented) {
  std::map<std::string, std::vector<std::string>> names{
      {"README.md", {}}, {"plovanet.1", {}}, {"--help", {}}};
  std::istringstream readme(section("README.md", "\n## Options\n", "\n## "));
  for (std::string line; std::getline(readme, line);) {
    if (line.starts_with("| `")) addNames(line.substr(1, line.find('|', 1) - 1), names["README.md"]);
  }
  std::istringstream man(section("doc/plovanet.1", "\n.SH OPTIONS\n", "\n.SH "));
  for (std::string line; std::getline(man, line);) {
    if (line == ".TP" && std::getline(man, line))
      addNames(line.substr(line.find(' ') + 1), names["plovanet.1"]);
  }
  std::istringstream help(helpText());
  for (std::string line; std::getline(help, line);) {
    // "  NAME    : text"; the usage text's RECRUIT= has no space before its colon.
    if (line.starts_with("  ")) addNames(line.substr(0, line.find(':')), names["--help"]);
  }
  for (const Keyword& k : kKeywords) {
    for (const auto& [where, list] : names) {
      const bool found = std::any_of(list.begin(), list.end(), [&k](const std::string& n) {
        return n == k.key || (k.key.back() == '=' && n.starts_with(k.key));
      });
      EXPECT_TRUE(found) << k.key << " is not documented in " << where;
    }
  }
}

}  // namespace plovanet
