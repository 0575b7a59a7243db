#include "run/failure.h"

#include <gtest/gtest.h>

#include "support.h"

namespace plovanet {

namespace {

std::string firstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

}  // namespace

// Every failure is documented in the README's table of messages, with its placeholders, and a
// whole-run case shows it as a user sees it.
TEST(Failure, EveryMessageIsDocumentedAndShownByAWholeRun) {
  constexpr const char* kMiscount =
      "srv takes 2 values, but the line holds 3; its extra value goes to theta, and every later value "
      "of data set 1 shifts by one place";
  struct Case {
    Failure failure;
    Context readme;      // placeholders as the README writes them
    Fault run;           // as the whole run makes it
    const char* golden;  // the case that shows it
  };
  const Case cases[] = {
      {Failure::OpenInput, {}, Fault::openInput({}), "missing_input_with_out"},
      {Failure::ReadInput, {"FILE", {}, {}}, Fault::readInput("d"), "in_directory_read_error"},
      {Failure::BadHead, {"FILE", {}, {}}, Fault::badHead("plovanet.txt"), "fail_head_31"},
      {Failure::BadGroups, {}, Fault::refusedArgument(Failure::BadGroups), "fail_groups_zero"},
      {Failure::BadSeed, {}, Fault::refusedArgument(Failure::BadSeed), "fail_seed_too_big"},
      {Failure::LongInName, {}, Fault::refusedArgument(Failure::LongInName), "fail_long_in_name"},
      {Failure::LongOutName, {}, Fault::refusedArgument(Failure::LongOutName), "fail_long_out_name"},
      {Failure::EmptyOutName, {}, Fault::emptyOutName(), "out_empty_name"},
      {Failure::SameFile, {"FILE", {}, {}}, Fault::sameFile("./p.txt"), "same_file_refused"},
      {Failure::OpenOutput, {"FILE", {}, {}}, Fault::openOutput("."), "fail_output_directory"},
      {Failure::WriteOutput, {"FILE", {}, {}}, Fault::writeOutput("/dev/full"), "fail_output_full"},
      {Failure::TooManyDataSets,
       {"FILE", "k", {}},
       Fault::tooManyDataSets("plovanet.txt", 2),
       "fail_too_many_data_sets"},
      {Failure::CaptureTooLarge, {{}, "H", {}}, Fault::captureTooLarge("1"), "capture_replicates_int_max"},
      {Failure::Alloc, {{}, {}, "nx"}, Fault::alloc("nx"), "fail_table_too_big"},
      {Failure::WriteConsole, {}, Fault::writeConsole(), "console_full"},
      {Failure::BadReps, {}, Fault::refusedArgument(Failure::BadReps), "fail_reps_zero"},
      {Failure::BadFirstRep, {}, Fault::refusedArgument(Failure::BadFirstRep), "fail_firstrep_negative"},
      {Failure::BadRng, {}, Fault::refusedArgument(Failure::BadRng), "fail_rng_unknown"},
      {Failure::ReplicateRange,
       {"M", "N", "KIND"},
       Fault::replicateRange(519, 512, false),
       "fail_replicate_beyond_classic"},
      {Failure::StreamBlock, {"B", "N", {}}, Fault::streamBlock(4194304, 1), "fail_stream_block"},
      {Failure::Strict,
       {{}, {}, "<warning text>"},
       Fault::strict("'stochastic' is no keyword (keywords are upper case); did you mean STOCHASTIC?"),
       "strict_lower_case_keyword"},
      {Failure::BadClasses, {}, Fault::refusedArgument(Failure::BadClasses), "fail_classes_zero"},
      {Failure::TooManyClassSets,
       {"FILE", "N", "k", "g"},
       Fault::tooManyClassSets("plovanet.txt", 2, 2),
       "fail_too_many_class_sets"},
      {Failure::PartialClasses,
       {"FILE", "N", "k"},
       Fault::partialClasses("plovanet.txt", 3, 2),
       "fail_partial_classes"},
      {Failure::BadMinFreq, {}, Fault::refusedArgument(Failure::BadMinFreq), "fail_minfreq_values"},
      {Failure::LooseNumber,
       {"SEED=", "5", "SEED=5.7"},
       Fault::looseNumber("SEED=", 5, "SEED=5.7"),
       "loose_older_numbers"},
      {Failure::MiscountedLine,
       {"small.txt", "3", kMiscount},
       Fault::miscountedLine("p.txt", 3, kMiscount),
       "warn_miscounted_line"},
      {Failure::NamedUnknown,
       {"FILE", "L", "NAME"},
       Fault::namedUnknown("plovanet.txt", 3, "survial", "survival"),
       "named_unknown_did_you_mean"},
      {Failure::NamedNotNumber,
       {"FILE", "L", "NAME", "TEXT"},
       Fault::namedNotNumber("plovanet.txt", 4, "p", "0.4,0.4,0.4,0.4"),
       "named_not_number_comma"},
      {Failure::NamedRange,
       {"FILE", "L", "NAME", "V", "RANGE"},
       Fault::namedRange("plovanet.txt", 3, "survival", "1.2", "rates from 0 to 1"),
       "named_rate_out_of_range"},
      {Failure::NamedCount,
       {"FILE", "L", "NAME", "G", "N"},
       Fault::namedCount("plovanet.txt", 3, "survival", 4, "3 (one per interval) or 1 for all"),
       "named_count_wrong"},
      {Failure::NamedTwice,
       {"FILE", "L", "NAME", "D", "L2"},
       Fault::namedTwice("plovanet.txt", 8, "p", 2, 6),
       "named_set_twice"},
      {Failure::NamedFirst,
       {"FILE", "L", {}},
       Fault::namedFirst("plovanet.txt", 3, {}),
       "named_only_comments"},
      {Failure::NamedOccasionsAgain,
       {"FILE", "L", {}, {}, "L1"},
       Fault::namedOccasionsAgain("plovanet.txt", 6, 1),
       "named_occasions_again"},
      {Failure::NamedMissing,
       {"FILE", "L", "NAME", "D"},
       Fault::namedMissing("plovanet.txt", 2, "f", 1, "RECRUIT="),
       "named_missing_f_with_recruit"},
      {Failure::NamedOrder,
       {"FILE", "L", "group", "G", "X"},
       Fault::namedOrder("plovanet.txt", 2, "group", 1, "2"),
       "named_group_order"},
      {Failure::NamedNoEntrants,
       {"FILE", "L", {}, "D"},
       Fault::namedNoEntrants("plovanet.txt", 2, 1),
       "named_no_entrants"},
      {Failure::NamedRecruitStart,
       {"FILE", "L", "NAME", "D"},
       Fault::namedRecruitStart("plovanet.txt", 2, "entrants", 1),
       "named_recruit_start_zero"},
      {Failure::NoTempFile, {"FILE", {}, {}}, Fault::noTempFile("o.out"), "out_no_temp_file"},
      {Failure::TempElsewhere,
       {"FILE", {}, "FOLDER"},
       Fault::tempElsewhere("o.out", "/tmp"),
       "out_readonly_folder"},
      {Failure::NamedTooManySecondaries,
       {"FILE", "L", {}, "K"},
       Fault::namedTooManySecondaries("plovanet.txt", 2, "33"),
       "robust_too_many_secondaries"},
      {Failure::NamedSecondariesPlace,
       {"FILE", "L", {}},
       Fault::namedSecondariesPlace("plovanet.txt", 4),
       "robust_secondaries_place"},
      {Failure::NamedNotRobust,
       {"FILE", "L", "NAME"},
       Fault::namedNotRobust("plovanet.txt", 4, "emigrate"),
       "robust_emigrate_without_secondaries"},
      {Failure::RobustLayout, {}, Fault::robustLayout(), "robust_refuses_jolly_capture"},
  };
  ASSERT_EQ(std::size(cases), static_cast<std::size_t>(kFailureCount)) << "a failure without a case";
  const std::string readme = test::slurp(PLOVANET_TESTS_DIR "/../README.md");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(c.failure, static_cast<Failure>(i));
    EXPECT_EQ(c.run.failure(), c.failure);
    EXPECT_NE(readme.find("| `" + firstLine(message(c.failure, c.readme)) + "`"), std::string::npos)
        << "README table lacks: " << firstLine(message(c.failure, c.readme));
    // Errors on the console and, once more, on standard error; warnings and a console that
    // failed on standard error only.
    const std::string golden = std::string(PLOVANET_GOLDEN_DIR "/") + c.golden;
    const std::string out = test::slurp(golden + "/stdout"), err = test::slurp(golden + "/stderr");
    if (isWarning(c.failure)) {
      EXPECT_NE((out + err).find("plovanet: warning: " + message(c.run) + "\n"), std::string::npos)
          << c.golden;
    } else if (c.failure == Failure::WriteConsole) {
      EXPECT_NE(err.find(message(c.run)), std::string::npos) << c.golden;
    } else {
      EXPECT_NE(out.find(message(c.run)), std::string::npos) << c.golden;
      EXPECT_NE(err.find(errorCopy(c.run)), std::string::npos) << c.golden;
    }
  }
}

}  // namespace plovanet
