// What a study writes, into writers it is given: the output file's header lines, record blocks
// or group table, and trailers; the rows of the TRUTH= and CSV= files. The command line gives it
// the files it opens (run/file_sink.h); the fuzzers give it memory.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "output/blocks.h"
#include "output/writer.h"
#include "run/failure.h"
#include "run/run.h"

namespace plovanet {

// Share of the expected captures that the output file may leave out without a warning.
inline constexpr double kLeftOutShare = 0.01;

// A writer and the file name its failure is reported under; no writer: not written.
struct Target {
  Writer* w = nullptr;
  std::string name;
};

// The ANIMALS= file's rows as the engine hands them, each after the prefix of the data set being
// simulated. Written from one thread at a time.
class AnimalRows final : public AnimalLog {
 public:
  const std::string& prefix() const override { return prefix_; }
  bool write(std::string_view lines) override;
  void start(Writer* w, std::string prefix) {
    w_ = w;
    prefix_ = std::move(prefix);
  }

 private:
  Writer* w_ = nullptr;
  std::string prefix_;
};

class RecordsSink : public StudySink {
 public:
  explicit RecordsSink(const RunConfig& cfg) : cfg_(cfg) {}

  // Where the next replicate's output goes; the side files, for the whole study.
  void output(Target out) { out_ = std::move(out); }
  void sides(Target truth, Target csv, Target animals = {}) {
    truth_ = std::move(truth);
    csv_ = std::move(csv);
    animals_ = std::move(animals);
  }

  // The header lines (flushed: a run that fails from here on leaves them in the file).
  std::optional<Fault> begin(const Replicate& r) override;
  std::optional<Fault> truth(const Replicate& r, const Totals& tot) override;
  std::optional<Fault> block(const Replicate& r, Column& col) override;
  std::optional<Fault> table(const Replicate& r, std::vector<Column>& cols) override;
  // The trailers.
  std::optional<Fault> end(const Replicate& r) override;

  // In expected-value mode, warns of each file (the output file, the CSV= file) whose records
  // leave out more than kLeftOutShare of the replicate's expected captures, with its threshold.
  std::optional<Fault> checkLeftOut(const Replicate& r) const;

  // The TRUTH= file's header line.
  std::string truthHeader() const;
  // The CSV= file's header line: with INDIVIDUAL, a column for each value of an animal.
  std::string csvHeader() const;
  // The ANIMALS= file's header line.
  std::string animalsHeader() const;
  // The ANIMALS= file's rows of r's current data set; none when it is not written.
  AnimalLog* animals(const Replicate& r) override;

 private:
  FileForm form() const;
  BlockTarget target(const Replicate& r) const;
  std::optional<Fault> written(const BlockResult& b);
  std::optional<Fault> sideFailure() const;

  const RunConfig& cfg_;
  Target out_, truth_, csv_, animals_;
  AnimalRows animalRows_;
  // What the records of the output file and of the CSV= file hold: frequency times captures.
  double outCaptures_ = 0, csvCaptures_ = 0;
  std::uint64_t outLines_ = 0;  // record lines of the output file
  long countAt_ = -1;           // where a MARK header's line count goes (MarkForm::countLines); -1: none
};

}  // namespace plovanet
