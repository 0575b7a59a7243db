#include "run/failure.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace plovanet {

namespace {

std::string slurp(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

std::string firstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

}  // namespace

// Every failure is documented in the README's table of messages, with its placeholders, and a
// whole-run case shows it as a user sees it.
TEST(Failure, EveryMessageIsDocumentedAndShownByAWholeRun) {
  struct Case {
    Failure failure;
    Context readme;      // placeholders as the README writes them
    Context run;         // what the whole run names
    const char* golden;  // shown on stdout, or stderr when the console fails
  };
  const Case cases[] = {
      {Failure::OpenInput, {}, {}, "missing_input_with_out"},
      {Failure::ReadInput, {"FILE", {}, {}}, {"d", {}, {}}, "in_directory_read_error"},
      {Failure::BadHead, {"FILE", {}, {}}, {"plovanet.txt", {}, {}}, "fail_head_31"},
      {Failure::BadGroups, {}, {}, "fail_groups_zero"},
      {Failure::BadSeed, {}, {}, "fail_seed_too_big"},
      {Failure::LongInName, {}, {}, "fail_long_in_name"},
      {Failure::LongOutName, {}, {}, "fail_long_out_name"},
      {Failure::EmptyOutName, {}, {}, "out_empty_name"},
      {Failure::SameFile, {"FILE", {}, {}}, {"./p.txt", {}, {}}, "same_file_refused"},
      {Failure::OpenOutput, {"FILE", {}, {}}, {".", {}, {}}, "fail_output_directory"},
      {Failure::WriteOutput, {"FILE", {}, {}}, {"/dev/full", {}, {}}, "fail_output_full"},
      {Failure::TooManyDataSets, {"FILE", "k", {}}, {"plovanet.txt", "2", {}}, "fail_too_many_data_sets"},
      {Failure::CaptureTooLarge, {{}, "H", {}}, {{}, "1", {}}, "capture_replicates_int_max"},
      {Failure::Alloc, {{}, {}, "nx"}, {{}, {}, "nx"}, "fail_table_too_big"},
      {Failure::WriteConsole, {}, {}, "console_full"},
      {Failure::BadReps, {}, {}, "fail_reps_zero"},
      {Failure::BadFirstRep, {}, {}, "fail_firstrep_negative"},
      {Failure::BadRng, {}, {}, "fail_rng_unknown"},
      {Failure::ReplicateRange,
       {"M", "N", "KIND"},
       {"512", "519", "CLASSIC"},
       "fail_replicate_beyond_classic"},
      {Failure::StreamBlock, {"B", "N", {}}, {"4194304", "1", {}}, "fail_stream_block"},
      {Failure::Strict,
       {{}, {}, "WARNING"},
       {{}, {}, "'stochastic' is no keyword (keywords are upper case); did you mean STOCHASTIC?"},
       "strict_lower_case_keyword"},
      {Failure::BadClasses, {}, {}, "fail_classes_zero"},
      {Failure::TooManyClassSets,
       {"FILE", "N", "k classes for each of GROUPS=g"},
       {"plovanet.txt", "4", "2 classes for each of GROUPS=2"},
       "fail_too_many_class_sets"},
      {Failure::PartialClasses, {"FILE", "N", "k"}, {"plovanet.txt", "3", "2"}, "fail_partial_classes"},
      {Failure::NoTempFile, {"FILE", {}, {}}, {"o.out", {}, {}}, "out_no_temp_file"},
      {Failure::TempElsewhere, {"FILE", {}, "FOLDER"}, {"o.out", {}, "/tmp"}, "out_readonly_folder"},
  };
  ASSERT_EQ(std::size(cases), static_cast<std::size_t>(kFailureCount)) << "a failure without a case";
  const std::string readme = slurp(PLOVANET_TESTS_DIR "/../README.md");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(c.failure, static_cast<Failure>(i));
    EXPECT_NE(readme.find("| `" + firstLine(message(c.failure, c.readme)) + "`"), std::string::npos)
        << "README table lacks: " << firstLine(message(c.failure, c.readme));
    const std::string shown = slurp(std::string(PLOVANET_GOLDEN_DIR "/") + c.golden +
                                    (c.failure == Failure::WriteConsole || c.failure == Failure::TempElsewhere ? "/stderr" : "/stdout"));
    EXPECT_NE(shown.find(message(c.failure, c.run)), std::string::npos) << c.golden;
  }
}

}  // namespace plovanet
