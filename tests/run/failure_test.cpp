#include "run/failure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "support.h"

namespace plovanet {

namespace {

// The line of the README's table row that begins with the message row; empty when there is none.
std::string readmeRow(const std::string& readme, const std::string& row) {
  const auto at = readme.find("\n| `" + row + "` |");
  return at == std::string::npos ? "" : readme.substr(at + 1, readme.find('\n', at + 1) - at - 1);
}

// Text matched as it is.
std::string literal(const std::string& text) {
  std::string re;
  for (const char ch : text) {
    if (std::strchr(R"(\^$.*+?()[]{}|)", ch) != nullptr) re += '\\';
    re += ch;
  }
  return re;
}

// A row's message as a pattern: each placeholder stands for what the run puts there.
std::string pattern(const std::string& row) {
  static const std::regex placeholder(
      R"(<warning text>|\b(FILE|NAME|TEXT|RANGE|KIND|L[12]?|[VGNDXKkgHMB])\b)");
  std::string re;
  std::size_t from = 0;
  for (std::sregex_iterator it(row.begin(), row.end(), placeholder), end; it != end; ++it) {
    const auto at = static_cast<std::size_t>(it->position());
    re += literal(row.substr(from, at - from)) + ".+";
    from = at + static_cast<std::size_t>(it->length());
  }
  return re + literal(row.substr(from));
}

}  // namespace

// Every error has a row in the README's table of messages, with placeholders, which the message
// of a whole run matches; the row quotes any addition the case shows. That case is a whole run
// whose console and standard error show the message.
TEST(Failure, EveryErrorIsDocumentedAndShownByAWholeRun) {
  struct Case {
    const char* readme;  // the README's row, placeholders and all
    Fault run;           // as the whole run makes it
    const char* golden;  // the case that shows it
    const char* addition = "";
  };
  // clang-format off
  const Case cases[] = {
      {"error opening plovanet.txt", Fault::openInput({}), "missing_input_with_out"},
      {"error reading FILE", Fault::readInput("d"), "in_directory_read_error"},
      {"error: FILE must begin with the number of occasions, a whole number from 1 to 30",
       Fault::badHead("plovanet.txt"), "fail_head_31"},
      {"error: GROUPS= needs a whole number of groups from 1 to 2147483647",
       Fault::refusedArgument(Failure::BadGroups), "fail_groups_zero"},
      {"error: SEED= needs a whole number from -2147483648 to 2147483647",
       Fault::refusedArgument(Failure::BadSeed), "fail_seed_too_big"},
      {"error: the IN= file name is longer than 511 characters",
       Fault::refusedArgument(Failure::LongInName), "fail_long_in_name"},
      {"error: the OUT= file name is longer than 511 characters",
       Fault::refusedArgument(Failure::LongOutName), "fail_long_out_name"},
      {"error: the OUT= file name is empty", Fault::emptyOutName(), "out_empty_name"},
      {"error: FILE is named twice: IN=, OUT=, TRUTH= and CSV= need different files",
       Fault::sameFile("./p.txt"), "same_file_refused/dot_slash"},
      {"error opening FILE", Fault::openOutput("."), "fail_output_directory"},
      {"error writing FILE", Fault::writeOutput("/dev/full"), "fail_output_full"},
      {"error: FILE holds more than k data sets, one for each of GROUPS=k",
       Fault::tooManyDataSets("plovanet.txt", 2), "fail_too_many_data_sets"},
      {"error: history H has a frequency too large for CAPTURE's one line per animal",
       Fault::captureTooLarge("1"), "capture_replicates_int_max"},
      {"error allocating memory for nx", Fault::alloc("nx"), "fail_table_too_big"},
      {"error writing standard output", Fault::writeConsole(), "console_full"},
      {"error: REPS= needs a whole number of replicates from 1 to 2147483647",
       Fault::refusedArgument(Failure::BadReps), "fail_reps_zero"},
      {"error: FIRSTREP= needs a whole number from 1 to 2147483647",
       Fault::refusedArgument(Failure::BadFirstRep), "fail_firstrep_negative"},
      {"error: RNG= needs CLASSIC or PCG", Fault::refusedArgument(Failure::BadRng), "fail_rng_unknown"},
      {"error: replicate N is beyond the M replicates that RNG=KIND keeps apart; use RNG=PCG for more",
       Fault::replicateRange(519, 512, false), "fail_replicate_beyond_classic"},
      {"error: replicate N drew more than B random numbers, into the next replicate's part of the stream; use RNG=PCG",
       Fault::streamBlock(4194304, 1), "fail_stream_block"},
      {"error: <warning text> (STRICT)",
       Fault::strict(Fault::resemblingKeyword("stochastic", "STOCHASTIC")), "strict_lower_case_keyword"},
      {"error: CLASSES= needs a whole number of classes from 1 to 2147483647",
       Fault::refusedArgument(Failure::BadClasses), "fail_classes_zero"},
      {"error: FILE holds more than N data sets, k classes for each of GROUPS=g",
       Fault::tooManyClassSets("plovanet.txt", 2, 2), "fail_too_many_class_sets"},
      {"error: FILE holds N data sets, not whole groups of k classes (CLASSES=k)",
       Fault::partialClasses("plovanet.txt", 3, 2), "fail_partial_classes"},
      {"error: MINFREQ= needs a frequency, a number from 0 up such as 0.000001 or 1e-8",
       Fault::refusedArgument(Failure::BadMinFreq), "fail_minfreq_values/negative"},
      {"error: FILE, line L: unknown setting 'NAME'", Fault::namedUnknown("plovanet.txt", 3, "survial", "survival"),
       "named_unknown_did_you_mean", "; did you mean 'survival'?"},
      {"error: FILE, line L: NAME: 'TEXT' is not a number",
       Fault::namedNotNumber("plovanet.txt", 4, "p", "0.4,0.4,0.4,0.4"), "named_not_number_comma",
       " (separate values with blanks, not commas)"},
      {"error: FILE, line L: NAME takes RANGE, not V",
       Fault::namedRange("plovanet.txt", 3, "survival", "1.2", "rates from 0 to 1"), "named_rate_out_of_range"},
      {"error: FILE, line L: NAME has G values; it takes N",
       Fault::namedCount("plovanet.txt", 3, "survival", 4, "3 (one per interval) or 1 for all"), "named_count_wrong"},
      {"error: FILE, line L: NAME is set twice in data set D (also on line L2)",
       Fault::namedTwice("plovanet.txt", 8, "p", 2, 6), "named_set_twice"},
      {"error: FILE, line L: the file must begin with occasions, the number of occasions",
       Fault::namedFirst("plovanet.txt", 3, {}), "named_only_comments"},
      {"error: FILE, line L: occasions is set again; it is set once, first (line L1)",
       Fault::namedOccasionsAgain("plovanet.txt", 6, 1), "named_occasions_again"},
      {"error: FILE, line L: data set D has no NAME",
       Fault::namedMissing("plovanet.txt", 2, "f", 1, "RECRUIT="), "named_missing_f_with_recruit",
       ", which RECRUIT= needs"},
      {"error: FILE, line L: by its place in the file this data set is group G, not X",
       Fault::namedOrder("plovanet.txt", 2, "group", 1, "2"), "named_group_order"},
      {"error: FILE, line L: data set D has no entrants: every entrants value is 0",
       Fault::namedNoEntrants("plovanet.txt", 2, 1), "named_no_entrants"},
      {"error: FILE, line L: data set D has NAME 0 at occasion 1, which RECRUIT= without USEF1 divides by",
       Fault::namedRecruitStart("plovanet.txt", 2, "entrants", 1), "named_recruit_start_zero"},
      {"error: no temporary file can be made to replace FILE safely; it is left as it was",
       Fault::noTempFile("o.out"), "out_not_beside/no_temp_file"},
      {"error: FILE, line L: the secondaries add up to K capture occasions; at most 30 fit a history",
       Fault::namedTooManySecondaries("plovanet.txt", 2, "33"), "robust_too_many_secondaries"},
      {"error: FILE, line L: secondaries is set once, on the line right after occasions",
       Fault::namedSecondariesPlace("plovanet.txt", 4), "robust_secondaries_place"},
      {"error: FILE, line L: NAME is used only in a robust design: give secondaries right after occasions",
       Fault::namedNotRobust("plovanet.txt", 4, "emigrate"), "robust_emigrate_without_secondaries"},
      {"error: a robust design is written in the plain layout, with CSV= or for MARK; not for JOLLY or CAPTURE",
       Fault::robustLayout(), "robust_refuses_jolly_capture"},
  };
  // clang-format on
  const std::string readme = test::slurp(PLOVANET_TESTS_DIR "/../README.md");
  const auto firstLine = [](const std::string& text) { return text.substr(0, text.find('\n')); };
  int next = 0;  // the cases follow the catalogue's order
  for (const Case& c : cases) {
    const Failure f = c.run.failure();
    while (isWarning(static_cast<Failure>(next))) ++next;
    EXPECT_EQ(f, static_cast<Failure>(next++)) << "an error without a case, or out of order";
    const std::string row = readmeRow(readme, c.readme);
    EXPECT_NE(row, "") << "README table lacks: " << c.readme;
    // The addition, one of the row's other wordings, is quoted there and taken as it is.
    if (*c.addition != '\0')
      EXPECT_NE(row.find(std::string("`") + c.addition + "`"), std::string::npos) << row;
    EXPECT_TRUE(
        std::regex_match(firstLine(message(c.run)), std::regex(pattern(c.readme) + literal(c.addition))))
        << message(c.run) << "does not read as " << c.readme << c.addition;
    // On the console and, once more, on standard error; a console that failed on standard
    // error only.
    const std::string golden = std::string(PLOVANET_GOLDEN_DIR "/") + c.golden;
    const std::string out = test::slurp(golden + "/stdout"), err = test::slurp(golden + "/stderr");
    if (f == Failure::WriteConsole) {
      EXPECT_NE(err.find(message(c.run)), std::string::npos) << c.golden;
    } else {
      EXPECT_NE(out.find(message(c.run)), std::string::npos) << c.golden;
      EXPECT_NE(err.find(errorCopy(c.run)), std::string::npos) << c.golden;
    }
  }
  while (next < kFailureCount && isWarning(static_cast<Failure>(next))) ++next;
  EXPECT_EQ(next, kFailureCount) << "an error without a case";
}

// Every warning is a row of the README's table of warnings, and its other wordings are quoted
// there. (The whole-run cases pin the bytes each one is given with.)
TEST(Failure, EveryWarningIsDocumented) {
  struct Case {
    Fault warning;
    const char* part = nullptr;  // a wording the README quotes, which the warning holds; none: a row
  };
  const Case cases[] = {
      {Fault::looseNumber("SEED=", 5, "SEED=5.7")},
      {Fault::miscountedLine("small.txt", {3, "srv", 2, 3, "theta", 0, 1})},
      {Fault::miscountedLine("small.txt", {3, "srv", 2, 1, "theta", 4, 1}),
       "its missing value comes from line 4 (theta)"},
      {Fault::miscountedLine("small.txt", {7, "c", 3, 5, "", 0, 1}), "begin the next data set"},
      {Fault::tempElsewhere("FILE", "FOLDER")},
      {Fault::resemblingKeyword("stochastic", "STOCHASTIC")},
      {Fault::rateRange(1, "srv", 2, 1.2)},
      {Fault::negativeEntrants(1, 2, -5)},
      {Fault::negativeEntrants(1, 1, -10), "they are not followed"},
      {Fault::readingStopped("small.txt", 2, ',', false, 1)},
      {Fault::endsInside("small.txt", 2, false)},
      {Fault::endsInside("small.txt", 1, true), "its missing values keep their earlier ones"},
      {Fault::unusedSetting("small.txt", 5, "f", "RECRUIT=")},
      {Fault::unusedSetting("small.txt", 6, "sef", "RECRUIT=NORMAL"), "sef is used only with RECRUIT=NORMAL"},
      {Fault::clockSeed(1796606879)},
      {Fault::classicReplicates()},
      {Fault::leftOut(0.155)},
  };
  const std::string readme = test::slurp(PLOVANET_TESTS_DIR "/../README.md");
  bool inTable[kFailureCount] = {};
  for (const Case& c : cases) {
    const std::string text = message(c.warning);
    EXPECT_TRUE(isWarning(c.warning.failure())) << text;
    if (c.part != nullptr) {
      EXPECT_NE(text.find(c.part), std::string::npos) << text;
      EXPECT_NE(readme.find(std::string("`") + c.part + "`"), std::string::npos)
          << "README lacks: " << c.part;
    } else {
      EXPECT_NE(readme.find("| `" + text + "` |"), std::string::npos) << "README table lacks: " << text;
      inTable[static_cast<int>(c.warning.failure())] = true;
    }
  }
  for (int f = 0; f < kFailureCount; ++f)
    EXPECT_EQ(inTable[f], isWarning(static_cast<Failure>(f))) << "warning " << f << " has no row";
}

}  // namespace plovanet
