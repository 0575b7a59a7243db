// The data sets of a run, one at a time: read from the parameter file in either format (and kept
// when later replicates of a study need them) or replayed from what was kept, with the warnings
// about what was read given once, when it is read.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "engine/model.h"
#include "engine/state.h"
#include "run/control.h"
#include "run/failure.h"
#include "run/named_reader.h"
#include "run/param_reader.h"
#include "run/run.h"

namespace plovanet {

// The data set the run simulates from one as read, by the rules the numeric format has always
// had: with a recruitment option and without USEF1, f[1] is derived from n[2] / n[1] and the
// first entrants are divided by the share of them caught in the first period; a negative f[1]
// becomes 0; with RECRUIT=NORMAL, se(f[1]) is se(f[2]).
DataSet adjustDataSet(DataSet d, Recruit recruit, bool usef1, const Model& model);

// Prints label, then " %f" of each value, then a line end.
void echoLine(std::FILE* con, const char* label, std::span<const double> v);

// The echo lines of a data set: its entrants as read, its rates, those its model adds, and its
// recruitment inputs as used.
void echoDataSet(std::FILE* con, const DataSet& read, const DataSet& used, const Model& model,
                 Recruit recruit);

// The parameter file's data sets, in the file's format.
class FileDataSets final : public DataSource {
 public:
  // Reads from infp (owned from now on), echoing on con.
  FileDataSets(const Control& ctl, std::FILE* infp, const Console& con);

  // Reads the number of occasions (a file in the named format is read and checked whole here)
  // into design; the fault when the file cannot begin a run.
  std::optional<Fault> readHead(Design& design);
  // The warnings about the named file's settings, found by readHead, to be given once.
  const std::vector<Fault>& headWarnings() const { return named_.warnings; }
  // From now on data sets are read for cfg (whose design readHead gave), and kept for the next
  // replicates when keep.
  void start(const RunConfig& cfg, bool keep);

  // The next data set as the run simulates it (adjustDataSet), its echo lines printed; none when
  // the file holds no further one. The warnings about what was read are next()'s.
  std::optional<DataSet> readOne();

  std::optional<Fault> next(std::optional<DataSet>& next) override;
  void rewind() override;
  // Closes the parameter file: nothing more is read from it.
  void close();
  // True once reading failed for another reason than the file's end or content.
  bool readError() const { return in_.error; }

 private:
  std::optional<Fault> checkValues(const DataSet& d, int dataset) const;
  std::optional<Fault> checkStop(bool gotDataSet, std::uint64_t readsBefore) const;
  std::optional<Fault> checkLayout();

  struct Closer {
    void operator()(std::FILE* fp) const noexcept { std::fclose(fp); }
  };
  const Control ctl_;
  const Console& con_;
  std::unique_ptr<std::FILE, Closer> file_;  // the parameter file, read through in_
  ParamReader in_;
  NamedFile named_;  // the parameter file, when it is in the named format
  const RunConfig* cfg_ = nullptr;
  DataSet last_;  // the last data set as read: what a value that fails to read keeps
  int read_ = 0;  // data sets read so far
  bool keep_ = false, replay_ = false;
  std::vector<DataSet> kept_;
  std::size_t replayed_ = 0;
};

}  // namespace plovanet
