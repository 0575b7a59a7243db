// Arbitrary bytes as a parameter file, numeric or named: the head, then data sets until the
// reader says no.
// Besides the sanitizers, every whitespace-separated token that strtod/strtol read whole is read
// again on its own and must give the C library's value, bit for bit; and the output file's
// frequency format must print those values (and the input's first eight bytes taken as a double)
// exactly as printf's "%12.4f" does.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "output/writer.h"
#include "run/data_sets.h"
#include "run/param_reader.h"
#include "run/run.h"

using namespace plovanet;

namespace {

std::FILE* openBytes(const std::uint8_t* data, std::size_t size) {
  // fmemopen refuses a zero-sized buffer; a lone NUL reads as no number at all, like an empty file.
  static const char empty = '\0';
  return size == 0 ? fmemopen(const_cast<char*>(&empty), 1, "r")
                   : fmemopen(const_cast<std::uint8_t*>(data), size, "r");
}

bool isSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Only plain decimal tokens: strtod also takes hex, "inf" and "nan", which the file format does not.
bool decimalToken(const std::string& t) {
  for (const char c : t) {
    if (!(std::strchr("0123456789+-.eE", c) != nullptr)) return false;
  }
  return true;
}

void checkFormat(double v) {
  char got[kMaxFixed + 13];
  const char* end = formatFixed(got, v, 12);
  char want[kMaxFixed + 13];
  const int n = std::snprintf(want, sizeof want, "%12.4f", v);
  if (std::string_view(got, static_cast<std::size_t>(end - got)) !=
      std::string_view(want, static_cast<std::size_t>(n))) {
    std::fprintf(stderr, "formatFixed(%a) = \"%.*s\", printf gives \"%s\"\n", v, static_cast<int>(end - got),
                 got, want);
    std::abort();
  }
}

void checkToken(const std::string& t) {
  if (t.empty() || !decimalToken(t)) return;
  std::FILE* fp = fmemopen(const_cast<char*>(t.data()), t.size(), "r");
  if (fp == nullptr) return;
  ParamReader in;
  in.infp = fp;
  const auto got = readReal(in);
  std::fclose(fp);

  char* end = nullptr;
  const double want = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size()) return;  // not a whole number token; the reader's stop is its own
  if (!got) {
    std::fprintf(stderr, "readReal failed on \"%s\", strtod gives %.17g\n", t.c_str(), want);
    std::abort();
  }
  if (std::memcmp(&*got, &want, sizeof want) != 0) {
    std::fprintf(stderr, "readReal(\"%s\") = %.17g, strtod gives %.17g\n", t.c_str(), *got, want);
    std::abort();
  }
  checkFormat(want);

  if (t.find_first_of(".eE") != std::string::npos) return;
  std::FILE* ip = fmemopen(const_cast<char*>(t.data()), t.size(), "r");
  if (ip == nullptr) return;
  ParamReader iin;
  iin.infp = ip;
  const auto gi = readInt(iin);
  std::fclose(ip);
  errno = 0;
  const long long wi = std::strtoll(t.c_str(), &end, 10);
  if (end != t.c_str() + t.size()) return;
  const bool fits = errno == 0 && wi >= INT32_MIN && wi <= INT32_MAX;
  if (fits != gi.has_value() || (gi && *gi != wi)) {
    std::fprintf(stderr, "readInt(\"%s\") disagrees with strtoll\n", t.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (size >= sizeof(double)) {
    double v;
    std::memcpy(&v, data, sizeof v);
    checkFormat(v);
  }
  static std::FILE* devNull = std::fopen("/dev/null", "w");
  Control ctl;
  ctl.recruit = static_cast<Recruit>(data[0] % 3);
  ctl.usef1 = (data[0] / 3) % 2 != 0;
  ++data;
  --size;

  std::FILE* fp = openBytes(data, size);
  if (fp == nullptr) return 0;
  const Console quiet{devNull, false, false};
  FileDataSets source(ctl, fp, quiet);
  Design design;
  if (!source.readHead(design) && design.nper <= 8) {
    const RunConfig cfg(ctl, design, 0);
    source.start(cfg, false);
    for (int sets = 0; sets < 1000 && source.readOne() && !source.readError(); ++sets) {
    }
  }

  std::string tok;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || isSpace(static_cast<char>(data[i]))) {
      checkToken(tok);
      tok.clear();
    } else {
      tok += static_cast<char>(data[i]);
    }
  }
  return 0;
}
