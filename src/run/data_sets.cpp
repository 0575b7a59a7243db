#include "run/data_sets.h"

#include <algorithm>
#include <string>

namespace plovanet {

DataSet adjustDataSet(DataSet d, Recruit recruit, bool usef1, const Design& design) {
  if (recruit == Recruit::none) return d;
  const int periods = plovanet::periods(design);
  if (!usef1) {
    if (periods >= 2) d.f[0] = d.n[1] / d.n[0] - d.sa[0];  // n[1] exists only from two occasions on
    // The animals caught in the first primary (at its first secondary when it has one).
    const int first = design.sec.empty() ? 1 : design.sec[0];
    double miss = 1;
    for (int g = 0; g < first; ++g) miss *= 1 - d.pa[static_cast<std::size_t>(g)];
    d.n[0] = d.n[0] / (first == 1 ? d.pa[0] : 1 - miss);
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

void echoDataSet(std::FILE* con, const DataSet& read, const DataSet& used, const Design& design,
                 Recruit recruit) {
  const auto periods = static_cast<std::size_t>(plovanet::periods(design));
  const auto K = static_cast<std::size_t>(design.nper);
  const auto intervals = [periods](const std::vector<double>& v) {
    return std::span<const double>(v).first(periods - 1);
  };
  echoLine(con, "n=", std::span<const double>(read.n).first(periods));
  echoLine(con, "srv=", intervals(used.sa));
  echoLine(con, "theta=", intervals(used.th));
  echoLine(con, "p=", std::span<const double>(used.pa).first(K));
  echoLine(con, "c=", std::span<const double>(used.p2).first(K));
  // Shown when animals move: without it a robust design reads as the ordinary study it then is.
  const auto moves = [&intervals](const std::vector<double>& v) {
    const auto s = intervals(v);
    return std::any_of(s.begin(), s.end(), [](double x) { return x != 0; });
  };
  if (design.nprim > 0 && (moves(used.em) || moves(used.ro))) {
    echoLine(con, "emigrate=", intervals(used.em));
    echoLine(con, "remain_out=", intervals(used.ro));
  }
  if (recruit == Recruit::none) return;
  echoLine(con, "f=", intervals(used.f));
  if (recruit == Recruit::normal) {
    std::fputs("se(f)=", con);
    echoLine(con, "", intervals(used.sef));
  }
}

namespace {

// Rates outside 0..1 and negative entrants, once per data set as read.
std::optional<Fault> checkValues(const Run& run, const DataSet& d, int dataset) {
  const int nper = run.design.nper;
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
      if (auto f = warn(run.ctl.strict, Fault::rateRange(dataset, r.name, k + 1, x))) return f;
      break;
    }
  }
  for (int k = 0; k < nper; ++k) {
    const double x = d.n[static_cast<std::size_t>(k)];
    if (!(x < 0)) continue;
    if (auto f = warn(run.ctl.strict, Fault::negativeEntrants(dataset, k + 1, x))) return f;
    break;
  }
  return std::nullopt;
}

// Why reading stopped, when it stopped somewhere a user would not expect.
std::optional<Fault> checkStop(const Run& run, bool gotDataSet, std::uint64_t readsBefore) {
  const ParamReader& in = run.src.in;
  if (!in.failed || in.error) return std::nullopt;
  const std::string& file = run.ctl.infile;
  if (in.stopChar == EOF) {
    if (!gotDataSet && in.reads == readsBefore) return std::nullopt;  // the file ends between data sets
    return warn(run.ctl.strict, Fault::endsInside(file, run.dataset + 1, gotDataSet));
  }
  return warn(run.ctl.strict, Fault::readingStopped(file, in.stopLine, static_cast<char>(in.stopChar),
                                                    gotDataSet, run.dataset + 1));
}

// A file laid out one vector per line whose one line holds another count than its vector takes:
// every later value of the data set is shifted, which nothing else would reveal.
std::optional<Fault> checkLayout(Run& run) {
  const auto m = findMiscount(run.src.in, run.design.nper, run.ctl.recruit);
  if (!m) return std::nullopt;
  int counts[kMaxVectors];
  const int vectors = vectorCounts(run.design.nper, run.ctl.recruit, counts);
  const int takes = counts[m->vector];
  const char* next = nullptr;  // the vector read after this one
  for (int v = m->vector + 1; v < vectors && next == nullptr; ++v) {
    if (counts[v] > 0) next = kVectorNames[v];
  }
  return warn(run.ctl.strict,
              Fault::miscountedLine(run.ctl.infile, m->line, kVectorNames[m->vector], takes, m->holds,
                                    next != nullptr ? next : "", m->nextLine, run.dataset + 1));
}

}  // namespace

std::optional<DataSet> readFileDataSet(Run& run) {
  Source& src = run.src;
  std::optional<DataSet> read = src.named.active
                                    ? readNamedDataSet(src.named, src.last)
                                    : readDataSet(src.in, src.last, run.design.nper, run.ctl.recruit);
  if (!read) return std::nullopt;
  src.last = *read;
  DataSet used = adjustDataSet(std::move(*read), run.ctl.recruit, run.ctl.usef1, run.design);
  echoDataSet(run.console, src.last, used, run.design, run.ctl.recruit);
  return used;
}

std::optional<Fault> nextDataSet(Run& run, std::optional<DataSet>& next) {
  Source& src = run.src;
  next.reset();
  if (src.replay) {
    if (src.replayed < src.kept.size()) next = src.kept[src.replayed++];
    return std::nullopt;
  }
  const ParamReader& in = src.in;
  const bool failedBefore = in.failed;
  const std::uint64_t readsBefore = in.reads;
  next = readFileDataSet(run);
  // Values of a data set whose reading failed may be missing: nothing more is simulated.
  if (in.error) {
    next.reset();
    return Fault::readInput(run.ctl.infile);
  }
  if (!failedBefore) {
    if (auto f = checkStop(run, next.has_value(), readsBefore)) return f;
  }
  if (!next) return std::nullopt;
  if (auto f = checkLayout(run)) return f;
  if (src.keep) src.kept.push_back(*next);
  return checkValues(run, *next, run.dataset + 1);
}

}  // namespace plovanet
