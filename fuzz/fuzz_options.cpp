// Arbitrary bytes as command-line arguments (split on NUL and newline), each applied to fresh
// settings. Whatever the text, the settings must stay in their ranges, and the numbers taken
// from GROUPS= and SEED= must be what atol reads there.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "run/options.h"

using namespace plovanet;

namespace {

[[noreturn]] void fail(std::string_view arg, const char* what) {
  std::fprintf(stderr, "argument \"%.*s\": %s\n", static_cast<int>(arg.size()), arg.data(), what);
  std::abort();
}

// The value atol would read at a fixed offset, when it fits 32 bits.
bool atolValue(std::string_view arg, std::size_t skip, long long& v) {
  const std::string rest(skip <= arg.size() ? arg.substr(skip) : std::string_view{});
  errno = 0;
  v = std::strtoll(rest.c_str(), nullptr, 10);
  return errno == 0 && v >= INT32_MIN && v <= INT32_MAX;
}

void check(std::string_view arg) {
  Control ctl;
  char* text = nullptr;
  std::size_t len = 0;
  std::FILE* fp = open_memstream(&text, &len);
  const auto err = applyArgument(arg, ctl, fp);
  std::fclose(fp);
  const std::string con(text, len);
  std::free(text);

  const int recruit = static_cast<int>(ctl.recruit);
  if (recruit < 0 || recruit > 2) {
    fail(arg, "a setting left its range");
  }
  if (ctl.infile.size() > kMaxName || ctl.outfile.size() > kMaxName)
    fail(arg, "a file name over 511 characters");
  if (err) {
    if (message(Fault::refusedArgument(*err)).empty()) fail(arg, "an empty error message");
    return;
  }
  if (ctl.mxgrps < 1) fail(arg, "GROUPS= accepted fewer than one group");
  // The newer value keywords stand at the start of their argument, which is then not searched
  // for the older ones: only the echo may come of it.
  bool newer = arg == "STRICT" || arg == "INDIVIDUAL";
  for (std::string_view k :
       {"REPS=", "FIRSTREP=", "RNG=", "CLASSES=", "TRUTH=", "CSV=", "MINFREQ=", "ANIMALS="})
    newer = newer || arg.starts_with(k);
  if (newer) {
    const Control fresh;
    if (ctl.lay.jollyflg || ctl.lay.captflg || ctl.lay.markflg || !ctl.determ || ctl.infile != fresh.infile ||
        ctl.outfile != fresh.outfile || ctl.seed != fresh.seed || ctl.mxgrps != 1 ||
        con != std::string(arg) + "\n") {
      fail(arg, "a newer keyword's argument set an older keyword");
    }
    if (ctl.reps < 1 || ctl.firstrep < 1 || ctl.classes < 1) fail(arg, "a count below 1 was accepted");
    if (!(ctl.minfreq >= 0) || !std::isfinite(ctl.minfreq))
      fail(arg, "MINFREQ= took a negative or no number");
    // Whole-number keywords take digits only.
    for (std::string_view k : {"REPS=", "FIRSTREP=", "CLASSES="}) {
      if (arg.starts_with(k) && arg.find_first_not_of("0123456789", k.size()) != std::string_view::npos)
        fail(arg, "a whole-number keyword took more than digits");
    }
    return;
  }
  if (con.size() < arg.size() + 1 ||
      std::string_view(con).substr(con.size() - arg.size() - 1) != std::string(arg) + "\n") {
    fail(arg, "the argument is not echoed last");
  }
  long long v = 0;
  if (arg.find("GROUPS=") != std::string_view::npos &&
      (!atolValue(arg, 7, v) || v != ctl.mxgrps || con.find("max groups=" + std::to_string(v) + "\n") != 0)) {
    fail(arg, "GROUPS= disagrees with atol");
  }
  if (arg.find("SEED=") != std::string_view::npos &&
      (!atolValue(arg, 5, v) || v != ctl.seed ||
       con.find("SEED=" + std::to_string(v) + "\n") == std::string::npos)) {
    fail(arg, "SEED= disagrees with atol");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || all[i] == '\0' || all[i] == '\n') {
      check(all.substr(start, i - start));
      start = i + 1;
    }
  }
  return 0;
}
