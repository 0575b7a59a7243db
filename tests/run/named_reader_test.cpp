#include "run/named_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "run/setup.h"

namespace plovanet {

namespace {

struct Options {
  Recruit recruit = Recruit::none;
  bool usef1 = false;
  int groups = 1, classes = 1;
};

// A parameter file in memory, opened as a run opens it (its head read).
struct Opened {
  std::string text;
  Control ctl;
  std::unique_ptr<Run> run = std::make_unique<Run>(ctl);
  std::optional<Fault> fault;
  Opened(std::string t, Options o) : text(std::move(t)) {
    ctl.recruit = o.recruit;
    ctl.usef1 = o.usef1;
    ctl.mxgrps = o.groups;
    ctl.classes = o.classes;
    run->console = std::tmpfile();
    run->src.in.infp = fmemopen(text.data(), text.size(), "r");
    fault = readHead(*run);
  }
  ~Opened() {
    std::fclose(run->src.in.infp);
    std::fclose(run->console);
  }
};

}  // namespace

// Every mistake stops the file's check with the message that fits it and the line where it is
// (the named_* golden cases show one of each kind whole; these are the edges).
TEST(NamedReader, MistakesNameTheirLine) {
  struct Case {
    std::string text;
    Failure failure;
    long line;
    const char* detail = nullptr;  // checked when given: the suggestion, or the count given
    Options opt = {};
  };
  const std::string head = "occasions 3\nentrants 10 0 0\nsurvival 0.8\n";
  const std::string ok = head + "p 0.4\n";
  // clang-format off
  const Case cases[] = {
      {"\xEF\xBB\xBF" "3\n10 0 0\n", Failure::BadHead, 0},  // a numeric file with a byte order mark
      {"\xEF\xBB\xBF" "occasions 3\n", Failure::NamedMissing, 1},
      {"Occasions 3\n", Failure::NamedUnknown, 1, "occasions"},
      {"occasions 3\nretentoin 1\n", Failure::NamedUnknown, 2, "retention"},
      {"occasions 3\np=0.4\n", Failure::NamedUnknown, 2, "p"},
      {"occasions 3\nsrv 0.8\n", Failure::NamedUnknown, 2, "survival"},
      {"occasions 3\nx 1\n", Failure::NamedUnknown, 2, ""},
      {std::string("occasions 3\nx\0y 1\n", 18), Failure::NamedUnknown, 2, ""},
      {"occasions 31\n", Failure::NamedRange, 1},
      {"occasions 2.5\n", Failure::NamedRange, 1},
      {"occasions\n", Failure::NamedCount, 1, "0"},
      {"occasions 3 4\n", Failure::NamedCount, 1, "2"},
      {"# a study\n\np 0.4\noccasions 3\n", Failure::NamedFirst, 3},
      {"occasions 3\nentrants 10 -1 0\n", Failure::NamedRange, 2},
      {"occasions 3\nentrants 1e400\n", Failure::NamedRange, 2},
      {"occasions 3\nentrants nan\n", Failure::NamedNotNumber, 2},
      {"occasions 3\nentrants inf\n", Failure::NamedNotNumber, 2},
      {"occasions 3\nentrants 0x10\n", Failure::NamedNotNumber, 2},
      {"occasions 3\nentrants 1e\n", Failure::NamedNotNumber, 2},
      {ok + "dataset 2\n", Failure::NamedCount, 5, "1"},
      {ok + "n 5\n", Failure::NamedTwice, 5},
      {"occasions 3\n", Failure::NamedMissing, 1},
      {head, Failure::NamedMissing, 2},
      {"occasions 3\n\np 0.4\nentrants 10\n", Failure::NamedMissing, 3},
      {ok + "f 0.2\n", Failure::NamedMissing, 2, nullptr, {Recruit::normal}},
      {ok + "f 1.5\n", Failure::NamedRange, 5, nullptr, {Recruit::binomial, true}},
      {ok + "class 1\ndataset\nclass 1\n", Failure::NamedOrder, 7, nullptr, {Recruit::none, false, 1, 2}},
      {ok + "dataset\ngroup 1\ndataset\ngroup 1\n", Failure::NamedOrder, 8, nullptr, {Recruit::none, false, 2, 2}},
      // Counts of data sets, checked before anything is written; no line to name.
      {ok + "dataset\ndataset\ndataset\ndataset\n", Failure::TooManyClassSets, 0, nullptr, {Recruit::none, false, 2, 2}},
      {ok + "dataset\ndataset\n", Failure::PartialClasses, 0, nullptr, {Recruit::none, false, 1, 2}},
      // The robust design: secondaries first, counts of p and c from them.
      {"occasions 3\nsecondaries 10 10 11\n", Failure::NamedTooManySecondaries, 2, "31"},
      {"occasions 3\nsecondaries 1e300\n", Failure::NamedTooManySecondaries, 2, "3e+300"},
      {"occasions 3\nsecondaries 0\n", Failure::NamedRange, 2},
      {"occasions 3\nsecondaries 2 2\n", Failure::NamedCount, 2, "2"},
      {"occasions 3\n# a comment\nsecondaries 2\nentrants 10\nsurvival 0.8\np 0.3 0.3 0.3\n",
       Failure::NamedCount, 6, "3"},
      {ok + "secondaries 2\n", Failure::NamedSecondariesPlace, 5},
      {"occasions 3\nsecondaries 2\nsecondaries 2\n", Failure::NamedSecondariesPlace, 3},
      {ok + "remain_out 0.5\n", Failure::NamedNotRobust, 5},
      {"occasions 3\nsecondaries 2\nentrants 10\nsurvival 0.8\np 0.3\nemigrate 1.5\n", Failure::NamedRange, 6},
  };
  // clang-format on
  for (const Case& c : cases) {
    Opened o(c.text, c.opt);
    ASSERT_TRUE(o.fault) << c.text;
    EXPECT_EQ(o.fault->failure(), c.failure) << c.text << message(*o.fault);
    if (c.line != 0)
      EXPECT_EQ(o.fault->context().count, std::to_string(c.line)) << c.text << message(*o.fault);
    if (c.detail != nullptr) EXPECT_EQ(o.fault->context().detail, c.detail) << c.text;
    const std::string m = message(*o.fault);  // one printable line
    EXPECT_EQ(m.find('\n'), m.size() - 1) << m;
    EXPECT_TRUE(std::none_of(m.begin(), m.end() - 1, [](char ch) { return ch >= 0 && ch < 0x20; })) << m;
  }
  // What is fine: f with RECRUIT=NORMAL above 1, a first p of 0 with USEF1, one occasion
  // without interval settings, group and class lines in their places.
  // clang-format off
  const Case fine[] = {
      {ok + "f 1.5\nsef 0.1\n", {}, 0, nullptr, {Recruit::normal}},
      {"occasions 3\nentrants 10\nsurvival 0.8\np 0 0.5 0.5\nf 0.2\n", {}, 0, nullptr, {Recruit::binomial, true}},
      {"occasions 1\nentrants 10\np 0.5\n", {}, 0},
      {"occasions 1\nentrants 10\np 0.5\nsurvival 0.8\n", {}, 0},
      {"occasions 1\nsecondaries 30\nentrants 10\np 0.5\n", {}, 0},
      {"occasions 2\nsecondaries 1 2\nentrants 10\nsurvival 0.8\np 0.1 0.2 0.3\nc 0.4\nemigrate 0.2\n", {}, 0},
      {ok + "group 1\nclass 1\ndataset\nclass 2\ndataset\ngroup 2\nclass 1\ndataset\nclass 2\n", {}, 0, nullptr,
       {Recruit::none, false, 2, 2}},
  };
  // clang-format on
  for (const Case& c : fine) {
    Opened o(c.text, c.opt);
    EXPECT_FALSE(o.fault) << c.text << message(*o.fault);
  }
}

}  // namespace plovanet
