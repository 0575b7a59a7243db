// The R package's one entry into the program: a whole study run in memory through the run library
// (run/driver.h: runStudy), from the parameter file's text and the command line's keywords. The
// TRUTH=, CSV= and ANIMALS= rows are written into memory and split into data-frame columns here,
// so that R reads no file; nothing touches the disk. Faults come back as R errors with the
// program's message, warnings as a character vector that the R side gives as R warnings (an R
// warning raised here could jump over the run's destructors when options(warn = 2)).
#include <Rcpp.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/data_sets.h"
#include "run/driver.h"
#include "run/options.h"
#include "run/program.h"
#include "run/records_sink.h"

using namespace plovanet;

namespace {

std::vector<std::string> warnings;  // of the run under way
void keepWarning(const std::string& text) {
  warnings.push_back(text);
}

void checkInterrupt(void*) {
  R_CheckUserInterrupt();
}
// True when the user has asked R to stop; asked without leaving this frame.
bool interrupted() {
  return R_ToplevelExec(checkInterrupt, nullptr) == FALSE;
}

// A memory file and the text written into it, freed with it.
struct MemoryFile {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* fp = open_memstream(&text, &size);
  ~MemoryFile() { std::free(text); }
};

// The records sink, asking between replicates whether R was interrupted; an interrupt ends the
// run as a failure would.
class InterruptibleSink final : public StudySink {
 public:
  explicit InterruptibleSink(RecordsSink& inner) : inner_(inner) {}
  bool stopped = false;

  std::optional<Fault> begin(const Replicate& r) override {
    if (interrupted()) {
      stopped = true;
      return Fault::writeConsole();  // any fault ends the run; stopped says why
    }
    return inner_.begin(r);
  }
  std::optional<Fault> truth(const Replicate& r, const Totals& tot) override { return inner_.truth(r, tot); }
  std::optional<Fault> block(const Replicate& r, Column& col) override { return inner_.block(r, col); }
  std::optional<Fault> table(const Replicate& r, std::vector<Column>& cols) override {
    return inner_.table(r, cols);
  }
  std::optional<Fault> end(const Replicate& r) override { return inner_.end(r); }
  AnimalLog* animals(const Replicate& r) override { return inner_.animals(r); }

 private:
  RecordsSink& inner_;
};

bool isCounter(std::string_view name) {
  for (std::string_view c :
       {"rep", "dataset", "group", "class", "occasion", "seed", "id", "entered", "died"}) {
    if (name == c) return true;
  }
  return false;
}

// One CSV text (header line, then rows without quotes, as the program writes them) as a data
// frame: ch and every column with a field that is not a number are character; counters (rep,
// dataset, ...) integer; the others double.
Rcpp::List frameOf(std::string_view csv) {
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
      const std::string field(fields[i * cols + j]);
      char* end = nullptr;
      values[i] = field.empty() ? NA_REAL : std::strtod(field.c_str(), &end);
      number = field.empty() || *end == '\0';
    }
    if (number && isCounter(head[j])) {
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

// The study itself, its output file into output when given; the fault that ended it, or none.
std::optional<Fault> runInMemory(const std::string& text, const std::vector<std::string>& keywords,
                                 bool animals, MemoryFile* output, MemoryFile& truth, MemoryFile& csv,
                                 MemoryFile& animalRows, bool& stopped) {
  MemoryFile console;  // the usage line, echoes and the replicates' lines, not shown
  Control ctl;
  for (const std::string& k : keywords) {
    if (auto f = applyArgument(k, ctl, console.fp)) return Fault::refusedArgument(*f);
  }
  if (ctl.replicates && !ctl.rngGiven) ctl.rng = StreamKind::pcg32;
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
  for (const Fault& w : data.headWarnings()) {
    if (auto f = warn(ctl.strict, w)) return f;
  }
  data.start(cfg, cfg.ctl.replicates && cfg.ctl.reps > 1);
  Writer truthW = makeWriter(truth.fp), csvW = makeWriter(csv.fp), animalsW = makeWriter(animalRows.fp);
  truth.fp = csv.fp = animalRows.fp = nullptr;  // the writers own them now
  // The sink always writes an output file; only write_mark() wants it.
  std::FILE* outFp = output != nullptr ? output->fp : std::fopen("/dev/null", "w");
  if (outFp == nullptr) return Fault::openOutput("/dev/null");
  if (output != nullptr) output->fp = nullptr;  // the writer owns it now
  Writer outW = makeWriter(outFp);
  RecordsSink records(cfg);
  records.output({&outW, "output"});
  records.sides({&truthW, "truth"}, {&csvW, "histories"}, animals ? Target{&animalsW, "animals"} : Target{});
  put(truthW, records.truthHeader());
  put(csvW, records.csvHeader());
  if (animals) put(animalsW, records.animalsHeader());
  InterruptibleSink sink(records);
  std::optional<Fault> fault = runStudy(cfg, data, con, sink);
  stopped = sink.stopped;
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
  MemoryFile out, truth, csv, animalRows;
  warnings.clear();
  setWarningHandler(keepWarning);
  bool stopped = false;
  std::optional<Fault> fault =
      runInMemory(text, keywords, animals, output ? &out : nullptr, truth, csv, animalRows, stopped);
  setWarningHandler(nullptr);
  if (stopped) throw Rcpp::internal::InterruptedException();
  if (fault) {
    std::string m = message(*fault);
    while (!m.empty() && m.back() == '\n') m.pop_back();
    Rcpp::stop(m);
  }
  Rcpp::List result = Rcpp::List::create(Rcpp::Named("histories") = frameOf({csv.text, csv.size}),
                                         Rcpp::Named("truth") = frameOf({truth.text, truth.size}),
                                         Rcpp::Named("warnings") = Rcpp::wrap(warnings));
  if (output) result["output"] = std::string(out.text, out.size);
  if (animals) result["animals"] = frameOf({animalRows.text, animalRows.size});
  return result;
}
