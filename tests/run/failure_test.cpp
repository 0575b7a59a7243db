#include "run/failure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"

namespace plovanet {

namespace {

// The README's table of errors, row by row.
std::vector<std::string> errorRows(const std::string& readme) {
  std::vector<std::string> rows;
  std::istringstream in(readme);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("| `error")) rows.push_back(line);
  }
  return rows;
}

// Text matched as it is.
std::string literal(const std::string& text) {
  static const std::regex special(R"([\\^$.*+?()[\]{}|])");
  return std::regex_replace(text, special, R"(\$&)");
}

// A row's message as a pattern: each placeholder stands for what the run puts there.
std::string pattern(const std::string& row) {
  static const std::regex placeholder(
      R"(<warning text>|\b(FILE|FOLDER|NAME|TEXT|RANGE|KIND|L[12]?|[VGNDXKkgHMB])\b)");
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

// Every error has its row in the README's table of messages, in the catalogue's order, whose
// text (placeholders read as wildcards) the message of a whole run matches; the row quotes any
// addition the case shows. That case is a whole run whose console and standard error show the
// message.
TEST(Failure, EveryErrorIsDocumentedAndShownByAWholeRun) {
  struct Case {
    Fault run;           // as the whole run makes it
    const char* golden;  // the case that shows it
    const char* addition = "";
  };
  const Case cases[] = {
      {Fault::openInput({}), "missing_input_with_out"},
      {Fault::readInput("d"), "in_directory_read_error"},
      {Fault::badHead("plovanet.txt"), "fail_head_31"},
      {Fault::refusedArgument(Failure::BadGroups), "fail_groups_zero"},
      {Fault::refusedArgument(Failure::BadSeed), "fail_seed_too_big"},
      {Fault::refusedArgument(Failure::LongInName), "fail_long_in_name"},
      {Fault::refusedArgument(Failure::LongOutName), "fail_long_out_name"},
      {Fault::emptyOutName(), "out_empty_name"},
      {Fault::sameFile("./p.txt"), "same_file_refused/dot_slash"},
      {Fault::openOutput("."), "fail_output_directory"},
      {Fault::writeOutput("/dev/full"), "fail_output_full"},
      {Fault::tooManyDataSets("plovanet.txt", 2), "fail_too_many_data_sets"},
      {Fault::captureTooLarge("1"), "capture_replicates_int_max"},
      {Fault::alloc("nx"), "fail_table_too_big"},
      {Fault::writeConsole(), "console_full"},
      {Fault::refusedArgument(Failure::BadReps), "fail_reps_zero"},
      {Fault::refusedArgument(Failure::BadFirstRep), "fail_firstrep_negative"},
      {Fault::refusedArgument(Failure::BadRng), "fail_rng_unknown"},
      {Fault::replicateRange(519, 512, false), "fail_replicate_beyond_classic"},
      {Fault::streamBlock(4194304, 1), "fail_stream_block"},
      {Fault::strict(Fault::resemblingKeyword("stochastic", "STOCHASTIC")), "strict_lower_case_keyword"},
      {Fault::refusedArgument(Failure::BadClasses), "fail_classes_zero"},
      {Fault::tooManyClassSets("plovanet.txt", 2, 2), "fail_too_many_class_sets"},
      {Fault::partialClasses("plovanet.txt", 3, 2), "fail_partial_classes"},
      {Fault::refusedArgument(Failure::BadMinFreq), "fail_minfreq_values/negative"},
      {Fault::namedUnknown("plovanet.txt", 3, "survial", "survival"), "named_unknown_did_you_mean",
       "; did you mean 'survival'?"},
      {Fault::namedNotNumber("plovanet.txt", 4, "p", "0.4,0.4,0.4,0.4"), "named_not_number_comma",
       " (separate values with blanks, not commas)"},
      {Fault::namedRange("plovanet.txt", 3, "survival", "1.2", "rates from 0 to 1"),
       "named_rate_out_of_range"},
      {Fault::namedCount("plovanet.txt", 3, "survival", 4, "3 (one per interval) or 1 for all"),
       "named_count_wrong"},
      {Fault::namedTwice("plovanet.txt", 8, "p", 2, 6), "named_set_twice"},
      {Fault::namedFirst("plovanet.txt", 2, {}), "named_only_comments"},
      {Fault::namedOccasionsAgain("plovanet.txt", 6, 1), "named_occasions_again"},
      {Fault::namedMissing("plovanet.txt", 2, "f", 1, "RECRUIT="), "named_missing_f_with_recruit",
       ", which RECRUIT= needs"},
      {Fault::namedOrder("plovanet.txt", 2, "group", 1, "2"), "named_group_order"},
      {Fault::namedNoEntrants("plovanet.txt", 2, 1), "named_no_entrants"},
      {Fault::namedRecruitStart("plovanet.txt", 2, "entrants", 1), "named_recruit_start_zero"},
      {Fault::noTempFile("o.out"), "out_not_beside/no_temp_file"},
      {Fault::namedTooManySecondaries("plovanet.txt", 2, "33"), "robust_too_many_secondaries"},
      {Fault::namedSecondariesPlace("plovanet.txt", 4), "robust_secondaries_place"},
      {Fault::namedNotRobust("plovanet.txt", 4, "emigrate"), "robust_emigrate_without_secondaries"},
      {Fault::plainLayout("robust design"), "robust_refuses_jolly_capture"},
      {Fault::namedStatesPlace("plovanet.txt", 3), "multistate_refused/states_late"},
      {Fault::namedStateLetter("plovanet.txt", 2, "a", false), "multistate_refused/letter_lower_case"},
      {Fault::namedNotState("plovanet.txt", 4, "survival", "C", "AB"),
       "multistate_refused/letter_not_a_state"},
      {Fault::namedMoveSelf("plovanet.txt", 5, 'A'), "multistate_refused/move_to_itself"},
      {Fault::namedNotMultistate("plovanet.txt", 5, "observe"), "multistate_refused/observe_without_states"},
      {Fault::namedMovesOver("plovanet.txt", 8, 2, 'A', 2, 1.1), "multistate_refused/moves_over_1"},
      {Fault::statesRobust("plovanet.txt", 3), "multistate_refused/secondaries_after_states"},
      {Fault::statesRecruit(), "multistate_refused/recruit"},
      {Fault::statesClassic(), "multistate_refused/rng_classic"},
      {Fault::markUncertain(), "multistate_refused/mark_uncertain"},
      {Fault::namedTooLarge("plovanet.txt", 2, "entrants", "1e400"),
       "named_edge_mistakes/entrants_beyond_double"},
      {Fault::utf16Input("plovanet.txt"), "fail_utf16"},
      {Fault::markedNumeric("plovanet.txt"), "named_edge_mistakes/bom_numeric"},
      {Fault::namedMore("plovanet.txt", 3), "named_mistakes_beyond_20"},
      {Fault::notFinite(1, 1, "entrants", HUGE_VAL), "fail_not_finite/tiny_p_recruit"},
      {Fault::namedIntervalPlace("plovanet.txt", 4), "named_interval/refused_late"},
      {Fault::noOutputFolder("sim/sim_0001.inp", "sim"), "fail_output_folder_missing"},
      {Fault::individualExpected("INDIVIDUAL"), "individual_refused/individual_expected"},
      {Fault::individualRobust("INDIVIDUAL"), "individual_refused/individual_robust"},
      {Fault::individualClassic(), "individual_refused/animals_rng_classic"},
      {Fault::animalsSameFile("./o.out"), "individual_refused/animals_same_as_out"},
      {Fault::namedCovariateName("plovanet.txt", 2, "body-mass", Fault::NameFault::form),
       "individual_refused/name_not_for_mark"},
      {Fault::namedLaw("plovanet.txt", 2, "mass", "gamma"), "individual_refused/law_unknown"},
      {Fault::namedCategoriesSum("plovanet.txt", 2, "sex", 0.9),
       "individual_refused/categories_not_adding_up"},
      {Fault::namedNotCovariate("plovanet.txt", 4, "effect p", "weight", "mass, age"),
       "individual_refused/effect_not_a_covariate"},
      {Fault::namedNotRate("plovanet.txt", 3, "effect", "phi", "p, c, survival or retention"),
       "individual_refused/effect_not_a_rate"},
      {Fault::namedIndividualPlace("plovanet.txt", 8, "effect", 6), "individual_refused/after_dataset"},
      {Fault::namedIndividualRobust("plovanet.txt", 3, "heterogeneity"), "individual_refused/robust_design"},
      {Fault::quadratureTooLarge("plovanet.txt", 323280, 20000), "individual_refused/quadrature_too_large"},
      {Fault::namedEncounters("plovanet.txt", 2, "dead"), "livedead_refused/kind_unknown"},
      {Fault::namedEncountersPlace("plovanet.txt", 3), "livedead_refused/encounters_late"},
      {Fault::encountersStates("plovanet.txt", 3, true), "livedead_refused/with_states"},
      {Fault::namedNotLiveDead("plovanet.txt", 5, "report", false),
       "livedead_refused/report_without_encounters"},
      {Fault::liveDeadClassic(), "livedead_refused/rng_classic"},
  };
  const auto rows = errorRows(test::slurp(PLOVANET_TESTS_DIR "/../README.md"));
  ASSERT_EQ(rows.size(), std::size(cases)) << "the README's table has a row too many or too few";
  const auto firstLine = [](const std::string& text) { return text.substr(0, text.find('\n')); };
  int next = 0;  // the cases, and the README's rows, follow the catalogue's order
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Case& c = cases[i];
    const Failure f = c.run.failure();
    while (isWarning(static_cast<Failure>(next))) ++next;
    EXPECT_EQ(f, static_cast<Failure>(next++)) << "an error without a case, or out of order";
    const std::string readme = rows[i].substr(3, rows[i].find("` |") - 3);
    // The addition, one of the row's other wordings, is quoted there and taken as it is.
    if (*c.addition != '\0')
      EXPECT_NE(rows[i].find(std::string("`") + c.addition + "`"), std::string::npos) << rows[i];
    EXPECT_TRUE(
        std::regex_match(firstLine(message(c.run)), std::regex(pattern(readme) + literal(c.addition))))
        << message(c.run) << " does not read as the README's row " << i + 1 << ": " << readme << c.addition;
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
      {Fault::readingStopped("small.txt", 3, ',', true, 1, "0.8"),
       "(write 0.8 with a decimal point, not a comma)"},
      {Fault::endsInside("small.txt", 2, false)},
      {Fault::endsInside("small.txt", 1, true), "its missing values keep their earlier ones"},
      {Fault::unusedSetting("small.txt", 5, "f", "RECRUIT=")},
      {Fault::unusedSetting("small.txt", 6, "sef", "RECRUIT=NORMAL"), "sef is used only with RECRUIT=NORMAL"},
      {Fault::clockSeed(1796606879)},
      {Fault::classicReplicates()},
      {Fault::leftOut(0.155)},
      {Fault::spreadEntrants("open.txt", 3, "entrants", "500", 8, 1, false)},
      {Fault::spreadEntrants("open.txt", 3, "entrants", "100", 3, 1, true),
       "at each of the 3 primary occasions"},
      {Fault::spreadEntrants("open.txt", 3, "entrants", "40", 4, 2, false), "in each of the 2 states"},
      {Fault::leftOutOf(0.146, "the CSV= file", 0.01)},
      {Fault::sameReplicates(3)},
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
