// The R package's one entry into the program: a whole study run in memory through the run library
// (run/driver.h: runStudy), from the parameter file's text and the command line's keywords. The
// TRUTH=, CSV= and ANIMALS= rows are written into memory and split into data-frame columns here,
// so that R reads no file; nothing touches the disk. Faults come back as R errors with the
// program's message, warnings as a character vector that the R side gives as R warnings (an R
// warning raised here could jump over the run's destructors when options(warn = 2)).
#include <Rcpp.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "run/checks.h"
#include "run/data_sets.h"
#include "run/driver.h"
#include "run/options.h"
#include "run/records_sink.h"

using namespace plovanet;

namespace {

void checkInterrupt(void*) {
  R_CheckUserInterrupt();
}
// True when the user has asked R to stop; asked without leaving this frame.
bool interrupted() {
  return R_ToplevelExec(checkInterrupt, nullptr) == FALSE;
}

// A memory file and the text written into it, closed (unless a writer took it) and freed with it.
struct MemoryFile {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* fp = open_memstream(&text, &size);
  MemoryFile() = default;
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile() {
    if (fp != nullptr) std::fclose(fp);
    std::free(text);
  }
  // The writer that owns the stream from now on.
  Writer writer() { return makeWriter(std::exchange(fp, nullptr)); }
  std::string_view view() const { return {text, size}; }
};

// What a run gives back besides its fault.
struct Results {
  MemoryFile output, truth, csv, animals;
  std::vector<std::string> warnings;
  bool stopped = false;  // by an interrupt
};

// The records sink, asking at each replicate and after each period of a data set whether R was
// interrupted, at most every 20 ms so that a study of many small replicates pays nothing for it;
// an interrupt ends the run as a failure would.
class InterruptibleSink final : public StudySink {
 public:
  explicit InterruptibleSink(RecordsSink& inner) : inner_(inner) {}
  bool stopped = false;

  std::optional<Fault> begin(const Replicate& r) override {
    if (auto f = ask()) return f;
    return inner_.begin(r);
  }
  std::optional<Fault> truth(const Replicate& r, const Totals& tot) override { return inner_.truth(r, tot); }
  std::optional<Fault> block(const Replicate& r, Column& col) override { return inner_.block(r, col); }
  std::optional<Fault> table(const Replicate& r, std::vector<Column>& cols) override {
    return inner_.table(r, cols);
  }
  std::optional<Fault> end(const Replicate& r) override { return inner_.end(r); }
  AnimalLog* animals(const Replicate& r) override { return inner_.animals(r); }
  std::optional<Fault> afterPeriod(const Replicate&) override { return ask(); }

 private:
  std::optional<Fault> ask() {
    const auto now = std::chrono::steady_clock::now();
    if (now - asked_ < std::chrono::milliseconds(20)) return std::nullopt;
    asked_ = now;
    if (!interrupted()) return std::nullopt;
    stopped = true;
    return Fault::writeConsole();  // any fault ends the run; stopped says why
  }

  RecordsSink& inner_;
  std::chrono::steady_clock::time_point asked_{};
};

using Names = std::span<const std::string_view>;
// The columns of each file that count or number things, given to R as integers; the others,
// such as a truth file's expected numbers of animals, as doubles.
constexpr std::string_view kHistoryCounters[]{"rep", "dataset", "group"};
constexpr std::string_view kTruthCounters[]{"rep", "dataset", "group", "class", "occasion", "seed"};
constexpr std::string_view kAnimalCounters[]{"rep", "dataset", "group", "id", "entered", "died"};

bool among(std::string_view name, Names names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// One CSV text (header line, then rows without quotes, as the program writes them) as a data
// frame: ch and every column with a field that is not a number are character; counters (rep,
// dataset, ...) integer; the others double.
Rcpp::List frameOf(std::string_view csv, Names counters) {
  std::vector<std::string> names;
  const std::size_t pos = csv.find('\n');
  if (pos == std::string_view::npos) return Rcpp::List();
  const auto split = [](std::string_view line, std::vector<std::string_view>& into) {
    for (;;) {
      const std::size_t comma = line.find(',');
      into.push_back(line.substr(0, comma));
      if (comma == std::string_view::npos) return;
      line = line.substr(comma + 1);
    }
  };
  std::vector<std::string_view> head;
  split(csv.substr(0, pos), head);
  const std::size_t cols = head.size();
  std::vector<std::string_view> fields;
  for (std::size_t at = pos + 1; at < csv.size();) {
    const std::size_t eol = csv.find('\n', at);
    split(csv.substr(at, eol - at), fields);
    fields.resize(((fields.size() + cols - 1) / cols) * cols);
    at = eol == std::string_view::npos ? csv.size() : eol + 1;
  }
  const std::size_t rows = fields.size() / cols;
  Rcpp::List frame(cols);
  std::vector<double> values(rows);
  for (std::size_t j = 0; j < cols; ++j) {
    bool number = head[j] != "ch";
    for (std::size_t i = 0; number && i < rows; ++i) {
      const std::string_view f = fields[i * cols + j];
      if (f.empty()) {
        values[i] = NA_REAL;
        continue;
      }
      const auto [end, ec] = std::from_chars(f.data(), f.data() + f.size(), values[i]);
      number = ec == std::errc() && end == f.data() + f.size();
    }
    if (number && among(head[j], counters)) {
      Rcpp::IntegerVector whole(rows);
      for (std::size_t i = 0; i < rows; ++i)
        whole[i] = std::isnan(values[i]) ? NA_INTEGER : static_cast<int>(values[i]);
      frame[j] = whole;
      continue;
    }
    if (number) {
      frame[j] = Rcpp::NumericVector(values.begin(), values.end());
      continue;
    }
    Rcpp::CharacterVector text(rows);
    for (std::size_t i = 0; i < rows; ++i) {
      const std::string_view f = fields[i * cols + j];
      text[i] = Rf_mkCharLen(f.data(), static_cast<int>(f.size()));
    }
    frame[j] = text;
  }
  for (std::string_view h : head) names.emplace_back(h);
  frame.attr("names") = Rcpp::wrap(names);
  frame.attr("class") = "data.frame";
  frame.attr("row.names") = Rcpp::IntegerVector::create(NA_INTEGER, -static_cast<int>(rows));
  return frame;
}

// The study itself, its output file kept when output is set; the fault that ended it, or none.
std::optional<Fault> runInMemory(const std::string& text, const std::vector<std::string>& keywords,
                                 bool animals, bool output, Results& res) {
  MemoryFile console;  // the usage line, echoes and the replicates' lines, not shown
  Control ctl;
  for (const std::string& k : keywords) {
    if (auto f = applyArgument(k, ctl, console.fp)) return Fault::refusedArgument(*f);
  }
  if (ctl.replicates && !ctl.rngGiven) ctl.rng = StreamKind::pcg32;
  ctl.keepWarning = [&res](const std::string& w) { res.warnings.push_back(w); };
  if (auto f = checkReplicates(ctl)) return f;
  // Named only for the sink's messages: nothing is written under these names.
  ctl.truthfile = "truth";
  ctl.csvfile = "histories";
  if (animals) ctl.animalsfile = "animals";
  std::FILE* infp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  if (infp == nullptr) return Fault::openInput(ctl.infile);
  Console con{console.fp, false, false};
  FileDataSets data(ctl, infp, con);
  Design design;
  if (auto f = data.readHead(design)) return f;
  if (auto f = checkStudy(ctl, design)) return f;
  RunConfig cfg(ctl, design, runSeed(ctl.seed));
  if (auto f = checkRun(cfg, data.headWarnings())) return f;
  data.start(cfg, cfg.ctl.replicates && cfg.ctl.reps > 1);
  Writer truthW = res.truth.writer(), csvW = res.csv.writer(), animalsW = res.animals.writer();
  // The sink always writes an output file; only write_mark() wants it, and a study's would only
  // fill memory.
  std::FILE* outFp = output ? std::exchange(res.output.fp, nullptr) : std::fopen("/dev/null", "w");
  if (outFp == nullptr) return Fault::openOutput("/dev/null");
  Writer outW = makeWriter(outFp);
  RecordsSink records(cfg);
  records.output({&outW, "output"});
  records.sides({&truthW, "truth"}, {&csvW, "histories"}, animals ? Target{&animalsW, "animals"} : Target{});
  put(truthW, records.truthHeader());
  put(csvW, records.csvHeader());
  if (animals) put(animalsW, records.animalsHeader());
  InterruptibleSink sink(records);
  std::optional<Fault> fault = runStudy(cfg, data, con, sink);
  res.stopped = sink.stopped;
  closeWriter(outW);
  closeWriter(truthW);
  closeWriter(csvW);
  closeWriter(animalsW);
  data.close();
  return fault;
}

}  // namespace

// [[Rcpp::export(.plovanet_run)]]
Rcpp::List plovanetRun(std::string text, std::vector<std::string> keywords, bool animals, bool output) {
  Results res;
  std::optional<Fault> fault = runInMemory(text, keywords, animals, output, res);
  if (res.stopped) throw Rcpp::internal::InterruptedException();
  if (fault) {
    // R puts "Error" before it already.
    std::string m = message(*fault);
    if (m.starts_with("error: ")) m.erase(0, 7);
    while (!m.empty() && m.back() == '\n') m.pop_back();
    Rcpp::stop(m);
  }
  Rcpp::List result = Rcpp::List::create(Rcpp::Named("histories") = frameOf(res.csv.view(), kHistoryCounters),
                                         Rcpp::Named("truth") = frameOf(res.truth.view(), kTruthCounters),
                                         Rcpp::Named("warnings") = Rcpp::wrap(res.warnings));
  if (output) result["output"] = std::string(res.output.view());
  if (animals) result["animals"] = frameOf(res.animals.view(), kAnimalCounters);
  return result;
}
