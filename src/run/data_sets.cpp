#include "run/data_sets.h"

#include <algorithm>
#include <string>

namespace plovanet {

DataSet adjustDataSet(DataSet d, Recruit recruit, bool usef1, const Model& model) {
  if (recruit == Recruit::none) return d;
  const int periods = model.periods();
  if (!usef1) {
    if (periods >= 2) d.f[0] = d.n[1] / d.n[0] - d.sa[0];  // n[1] exists only from two occasions on
    d.n[0] = d.n[0] / model.caughtFirst(d);
  }
  if (d.f[0] < 0) d.f[0] = 0;
  // sef[1] is read only from three occasions on; with fewer, sef[0] stays as read.
  if (recruit == Recruit::normal && periods >= 3) d.sef[0] = d.sef[1];
  return d;
}

void echoLine(std::FILE* con, const char* label, std::span<const double> v) {
  std::fputs(label, con);
  for (const double x : v) std::fprintf(con, " %lf", x);
  std::fputc('\n', con);
}

void echoDataSet(std::FILE* con, std::span<const double> entrantsRead, const DataSet& used,
                 const Model& model, Recruit recruit) {
  const auto periods = static_cast<std::size_t>(model.periods());
  const auto intervals = [periods](const std::vector<double>& v) {
    return std::span<const double>(v).first(periods - 1);
  };
  echoLine(con, "n=", entrantsRead.first(periods));
  for (const EchoLine& e : model.echo(used)) echoLine(con, e.label.c_str(), e.values);
  if (recruit == Recruit::none) return;
  echoLine(con, "f=", intervals(used.f));
  if (recruit == Recruit::normal) {
    std::fputs("se(f)=", con);
    echoLine(con, "", intervals(used.sef));
  }
}

FileDataSets::FileDataSets(const Control& ctl, std::FILE* infp, const Console& con)
    : ctl_(ctl), con_(con), file_(infp) {
  in_.infp = infp;
}

std::optional<Fault> FileDataSets::readHead(Design& d) {
  d.determ = ctl_.determ;
  d.thetaflg = ctl_.thetaflg;
  const TextMark mark = skipMark(in_);
  if (in_.error) return Fault::readInput(ctl_.infile);
  if (mark == TextMark::utf16) return Fault::utf16Input(ctl_.infile);
  if (namedFormat(in_)) {
    NamedFile& nf = named_;
    nf.file = ctl_.infile;
    nf.recruit = ctl_.recruit;
    nf.usef1 = ctl_.usef1;
    nf.mxgrps = ctl_.mxgrps;
    nf.classes = ctl_.classes;
    if (auto f = openNamed(nf, in_)) return f;
    d.nper = nf.K;
    if (!nf.sec.empty()) {
      d.nprim = nf.nper;
      d.sec = nf.sec;
    }
    d.states = nf.states;
    d.uncertain = nf.uncertain;
    d.interval = nf.interval;
    d.encounters = nf.encounters;
    d.recoveriesOnly = nf.encounters != Encounters::none && !nf.recaptures;
    d.indiv.covariates = nf.indiv.covariates;
    d.indiv.effects = nf.indiv.effects;
    d.indiv.sigma = nf.indiv.sigma;
    d.indiv.heterogeneity = nf.indiv.heterogeneity;
    d.indiv.nodes = nf.indiv.nodes;
  } else {
    // A numeric file is read as the old reader read it, which no mark began.
    if (mark == TextMark::utf8) return Fault::markedNumeric(ctl_.infile);
    const auto nper = readInt(in_);
    if (in_.error) return Fault::readInput(ctl_.infile);
    if (!nper || *nper < 1 || *nper > kMaxOccasions) return Fault::badHead(ctl_.infile);
    d.nper = *nper;
  }
  d.dim = 1 << d.nper;
  d.indiv.rows = ctl_.individual;
  d.indiv.log = !ctl_.animalsfile.empty();
  last_ = blankDataSet(d.nper);
  return std::nullopt;
}

void FileDataSets::start(const RunConfig& cfg, bool keep) {
  cfg_ = &cfg;
  keep_ = keep;
}

void FileDataSets::close() {
  in_.infp = nullptr;
  file_.reset();
}

std::optional<Fault> FileDataSets::checkValues(const DataSet& d, int dataset) const {
  const int nper = cfg_->design().nper;
  struct Vec {
    const char* name;
    const std::vector<double>& v;
    int count;
  };
  const Vec rates[] = {
      {"srv", d.sa, nper - 1}, {"theta", d.th, nper - 1}, {"p", d.pa, nper}, {"c", d.p2, nper}};
  for (const Vec& r : rates) {
    for (int k = 0; k < r.count; ++k) {
      const double x = r.v[static_cast<std::size_t>(k)];
      if (x >= 0 && x <= 1) continue;
      if (auto f = warn(ctl_, Fault::rateRange(dataset, r.name, k + 1, x))) return f;
      break;
    }
  }
  for (int k = 0; k < nper; ++k) {
    const double x = d.n[static_cast<std::size_t>(k)];
    if (!(x < 0)) continue;
    if (auto f = warn(ctl_, Fault::negativeEntrants(dataset, k + 1, x))) return f;
    break;
  }
  return std::nullopt;
}

// Why reading stopped, when it stopped somewhere a user would not expect.
std::optional<Fault> FileDataSets::checkStop(bool gotDataSet, std::uint64_t readsBefore) const {
  if (!in_.failed || in_.error) return std::nullopt;
  const std::string& file = ctl_.infile;
  if (in_.stopChar == EOF) {
    if (!gotDataSet && in_.reads == readsBefore) return std::nullopt;  // the file ends between data sets
    return warn(ctl_, Fault::endsInside(file, read_ + 1, gotDataSet));
  }
  return warn(ctl_, Fault::readingStopped(file, in_.stopLine, static_cast<char>(in_.stopChar), gotDataSet,
                                          read_ + 1, in_.decimal));
}

// A file laid out one vector per line whose one line holds another count than its vector takes:
// every later value of the data set is shifted, which nothing else would reveal.
std::optional<Fault> FileDataSets::checkLayout() {
  const int nper = cfg_->design().nper;
  const auto m = findMiscount(in_, nper, ctl_.recruit);
  if (!m) return std::nullopt;
  int counts[kMaxVectors];
  const int vectors = vectorCounts(nper, ctl_.recruit, counts);
  const int takes = counts[m->vector];
  const char* after = nullptr;  // the vector read after this one
  for (int v = m->vector + 1; v < vectors && after == nullptr; ++v) {
    if (counts[v] > 0) after = kVectorNames[v];
  }
  return warn(ctl_,
              Fault::miscountedLine(ctl_.infile, {m->line, kVectorNames[m->vector], takes, m->holds,
                                                  after != nullptr ? after : "", m->nextLine, read_ + 1}));
}

std::optional<DataSet> FileDataSets::readOne() {
  std::optional<DataSet> read = named_.active ? readNamedDataSet(named_, last_)
                                              : readDataSet(in_, last_, cfg_->design().nper, ctl_.recruit);
  if (!read) return std::nullopt;
  last_ = *read;
  DataSet used = adjustDataSet(std::move(*read), ctl_.recruit, ctl_.usef1, *cfg_->model);
  echoDataSet(con_.fp, last_.n, used, *cfg_->model, ctl_.recruit);
  return used;
}

std::optional<Fault> FileDataSets::next(std::optional<DataSet>& next) {
  next.reset();
  if (replay_) {
    if (replayed_ < kept_.size()) next = kept_[replayed_++];
    return std::nullopt;
  }
  const bool failedBefore = in_.failed;
  const std::uint64_t readsBefore = in_.reads;
  next = readOne();
  // Values of a data set whose reading failed may be missing: nothing more is simulated.
  if (in_.error) {
    next.reset();
    return Fault::readInput(ctl_.infile);
  }
  if (!failedBefore) {
    if (auto f = checkStop(next.has_value(), readsBefore)) return f;
  }
  if (!next) return std::nullopt;
  if (auto f = checkLayout()) return f;
  if (keep_) kept_.push_back(*next);
  return checkValues(*next, ++read_);
}

void FileDataSets::rewind() {
  replay_ = true;
  replayed_ = 0;
}

}  // namespace plovanet
