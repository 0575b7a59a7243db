#include "run/setup.h"

#include <unistd.h>

#include "output/records.h"
#include "run/options.h"

namespace plovanet {

void emit(Run& run) {
  if (run.con.empty()) return;
  std::fwrite(run.con.data(), 1, run.con.size(), run.console);
  std::fflush(run.console);
  run.con.clear();
}

std::size_t memoryLimit() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || size <= 0) return SIZE_MAX;
  return static_cast<std::size_t>(pages) * static_cast<std::size_t>(size);
}

namespace {

std::string countMessage(const char* name, long long count) {
  char tmp[96];
  std::snprintf(tmp, sizeof tmp, "error allocating memory for %s[%lld]\n", name, count);
  return tmp;
}

}  // namespace

std::optional<std::string> allocateRun(Run& run, AllocFn alloc) {
  RunState& rs = run.rs;
  Control& ctl = run.ctl;
  const auto per = static_cast<std::size_t>(rs.nper);
  struct Item {
    Array* array;
    const char* name;
  };
  const Item items[] = {{&ctl.n, "n"}, {&rs.tcap, "tcap"}, {&rs.talive, "talive"},
                        {&rs.pa, "p"}, {&rs.p2, "p"},      {&rs.sa, "s"},
                        {&ctl.f, "f"}, {&ctl.sef, "sef"},  {&rs.th, "th"}};
  for (const Item& it : items) {
    *it.array = alloc(per);
    if (!*it.array) return countMessage(it.name, rs.nper);
  }
  for (int k = 0; k + 1 < rs.nper; ++k) rs.th[k] = 1.0;

  // The table is refused up front when it cannot fit in memory, rather than being left to
  // fail page by page later. The expected-value engine needs a quarter of a row more.
  const auto dim = static_cast<std::size_t>(rs.dim);
  std::size_t cells = 0, bytes = 0;
  const std::size_t extra = rs.determ != 0 ? levelsSize(rs.nper) : 0;
  if (__builtin_mul_overflow(static_cast<std::size_t>(rs.mxgrps), dim, &cells) ||
      __builtin_add_overflow(cells, extra, &cells) || __builtin_mul_overflow(cells, sizeof(double), &bytes) ||
      bytes > memoryLimit()) {
    return std::string("error allocating memory for nx\n");
  }
  rs.nx = alloc(static_cast<std::size_t>(rs.mxgrps) * dim);
  if (!rs.nx) return countMessage("nx", rs.dim);
  if (rs.determ != 0) {
    if (!levelsAllocate(run.lv, rs.nper, alloc)) return countMessage("nx", rs.dim);
  }
  return std::nullopt;
}

std::optional<std::string> setUp(Run& run, int argc, const char* const* argv, AllocFn alloc) {
  Control& ctl = run.ctl;
  RunState& rs = run.rs;
  run.con += kUsage;
  emit(run);
  for (int i = 1; i < argc; ++i) {
    auto err = applyArgument(argv[i], ctl, rs, run.con);
    if (err) return *err + "\n";
    emit(run);
  }

  std::FILE* infp = std::fopen(ctl.infile.c_str(), "r");
  // The text names the default file whatever IN= said; scripts match on it.
  if (infp == nullptr) return std::string("error opening plovanet.txt\n\n(hit Enter...");
  run.in.infp = infp;
  run.rng = seededStream(runSeed(ctl.seed));

  // The head is checked before the output file is opened, so a bad parameter file leaves an
  // earlier output file as it was.
  const auto nper = readInt(run.in);
  if (!nper || *nper < 1 || *nper > kMaxOccasions) {
    return "error: " + ctl.infile + " must begin with the number of occasions, a whole number from 1 to 30\n";
  }
  std::FILE* fp = std::fopen(ctl.outfile.c_str(), "w");
  if (fp == nullptr) return "error opening " + ctl.outfile + "\n";
  std::setvbuf(fp, nullptr, _IONBF, 0);  // the writer buffers; this way write errors show at once
  run.out = makeWriter(fp);

  rs.nper = *nper;
  rs.dim = 1 << rs.nper;
  if (rs.determ == 1 && rs.nper > 27)
    run.con += "\nWARNING: With this many occasions, it will take a long time!\n";
  run.con += rs.determ != 0 ? "\nExpected value data generated\n" : "\nStochastic data generated\n";
  emit(run);

  writeHeaders(run.out, ctl.lay, rs.nper, rs.dim, rs.mxgrps);
  flush(run.out);  // a run that fails from here on leaves the header in the file
  if (run.out.failed) return "error writing " + ctl.outfile + "\n";
  return allocateRun(run, alloc);
}

}  // namespace plovanet
