// Whole runs of the real binary against golden files: a case is a folder under golden/ (or a
// family's subfolder), its files as CONTRIBUTING.md's "Adding a golden case" lists them.
// PLOVANET_UPDATE_GOLDEN=1 rewrites stdout, stderr, status and out/. PLOVANET_GOLDEN_BIN names
// another program (tests/wine_golden.sh: the Windows build under Wine); with
// PLOVANET_GOLDEN_WINE=1, CRLF counts as LF, no_wine and wine_only decide which cases run,
// temporary files have Windows names, and a case that does not match is run again, up to twice.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "support.h"

namespace fs = std::filesystem;

namespace {

// Set by the build when the flags ask for an address or thread sanitizer.
#ifdef PLOVANET_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

using plovanet::test::slurp;

const bool kWine = std::getenv("PLOVANET_GOLDEN_WINE") != nullptr;

// Under Wine, the Windows line ends folded to LF.
std::string lf(const std::string& s) {
  return kWine ? std::regex_replace(s, std::regex("\r(?=\n|$)"), "") : s;
}

std::string shellQuoted(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Line by line, "<any>" at the end of an expected line standing for the rest of the line.
bool sameStderr(const std::string& want, const std::string& got) {
  std::istringstream w(want), g(got);
  std::string a, b;
  while (std::getline(w, a)) {
    const bool any = a.ends_with("<any>");
    if (!std::getline(g, b) || (any ? !b.starts_with(a.substr(0, a.size() - 5)) : a != b)) return false;
  }
  return !std::getline(g, b);
}

// The name a file is written under before it replaces its target: "." + name + "." + mkstemp's
// six characters, or the Windows build's process id and count in hex.
bool isTemporary(const std::string& name) {
  static const std::regex temp(kWine ? R"(\..+\.[0-9a-f]{3,10})" : R"(\..+\.[0-9A-Za-z]{6})");
  return std::regex_match(name, temp);
}

std::vector<std::string> temporaryFiles(const fs::path& work) {
  std::vector<std::string> left;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(work, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec))
    if (isTemporary(it->path().filename().string())) left.push_back(fs::relative(it->path(), work).string());
  return left;
}

// "family/member" named as before it was folded: "family_member".
std::string flat(std::string name) {
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

// A case's file: its own, or else its family's.
struct Case {
  fs::path own, family;
  fs::path operator()(const char* name) const { return fs::exists(own / name) ? own / name : family / name; }
};

// Under PLOVANET_UPDATE_GOLDEN, bytes that differ go to the case's own file, so that a family's
// shared file changes only when it is the case's own.
void update(const Case& c, const char* name, const std::string& bytes) {
  if (fs::exists(c.own / name) || slurp(c(name)) != bytes)
    std::ofstream(c.own / name, std::ios::binary) << bytes;
}

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, WholeRun) {
  const fs::path own = fs::path(PLOVANET_GOLDEN_DIR) / GetParam();
  const Case src{own, GetParam().find('/') == std::string::npos ? own : own.parent_path()};
  if (kSanitized && fs::exists(src("no_sanitizer"))) GTEST_SKIP() << "needs an unsanitized binary";
  if (kWine && fs::exists(src("no_wine"))) GTEST_SKIP() << slurp(src("no_wine"));
  if (!kWine && fs::exists(src("wine_only"))) GTEST_SKIP() << slurp(src("wine_only"));
  const char* other = std::getenv("PLOVANET_GOLDEN_BIN");
  const std::string bin = other != nullptr ? other : PLOVANET_BIN;
  const fs::path work =
      fs::temp_directory_path() / ("plovanet_" + flat(GetParam()) + std::to_string(getpid()));
  // A case that hangs fails on its own instead of stalling the whole suite.
  std::string cmd = "cd " + shellQuoted(work.string()) + " && ";
  const bool script = fs::exists(src("run.sh"));
  cmd += script ? "PLOVANET=" + shellQuoted(bin) + " timeout 300 bash " + shellQuoted(src("run.sh").string())
                : "timeout 300 " + shellQuoted(bin);
  std::ifstream args(src("args"));
  for (std::string a; std::getline(args, a);) cmd += " " + shellQuoted(a);
  const std::string outPath = work.string() + ".stdout", errPath = work.string() + ".stderr";
  struct Scratch {  // removed however the case ends
    std::vector<fs::path> paths;
    ~Scratch() {
      for (const fs::path& p : paths) fs::remove_all(p);
    }
  } scratch{{work, outPath, errPath}};
  int st = 0;
  std::string out, err, status;
  const std::string wantErr = fs::exists(src("stderr")) ? slurp(src("stderr")) : std::string();
  // Under a loaded Wine a process now and then fails to start or loses its piped output: a case
  // that does not match is run again there, up to three times in all.
  for (int attempt = 0; attempt < 3; ++attempt) {
    fs::remove_all(work);
    fs::create_directories(work);
    if (fs::exists(src("in"))) fs::copy(src("in"), work, fs::copy_options::recursive);
    st = std::system(
        (cmd + " > " + shellQuoted(outPath) + " 2> " + shellQuoted(errPath) + " </dev/null").c_str());
    out = lf(slurp(outPath)), err = lf(slurp(errPath));
    status = std::to_string(WEXITSTATUS(st)) + "\n";
    if (!kWine || (out == slurp(src("stdout")) && status == slurp(src("status")) && sameStderr(wantErr, err)))
      break;
  }
  if (WEXITSTATUS(st) == 77 && script) GTEST_SKIP() << out;

  const bool updating = std::getenv("PLOVANET_UPDATE_GOLDEN") != nullptr;
  if (updating) update(src, "stdout", out), update(src, "status", status);
  if (updating && !err.empty() && !fs::exists(src("stderr"))) update(src, "stderr", err);
  EXPECT_EQ(out, slurp(src("stdout")));
  EXPECT_EQ(status, slurp(src("status")));
  EXPECT_TRUE(sameStderr(wantErr, err)) << "stderr:\n" << err << "\nexpected:\n" << wantErr;
  if (fs::exists(src("out"))) {
    for (const auto& e : fs::directory_iterator(src("out"))) {
      const fs::path made = work / e.path().filename();
      if (updating) std::ofstream(e.path(), std::ios::binary) << slurp(made);
      EXPECT_TRUE(fs::exists(made)) << made;
      EXPECT_EQ(lf(slurp(made)), slurp(e.path())) << e.path().filename();
    }
  }
  std::ifstream absent(src("absent"));
  for (std::string gone; std::getline(absent, gone);) EXPECT_FALSE(fs::exists(work / gone)) << gone;
  EXPECT_EQ(temporaryFiles(work), std::vector<std::string>()) << "temporary files left behind";
}

// A folder with a subfolder other than in/ and out/ is a family: each such subfolder is a case.
std::vector<std::string> caseNames() {
  std::vector<std::string> v;
  for (const auto& e : fs::directory_iterator(PLOVANET_GOLDEN_DIR)) {
    const std::string family = e.path().filename().string();
    const std::size_t before = v.size();
    for (const auto& m : fs::directory_iterator(e.path())) {
      const std::string sub = m.path().filename().string();
      if (m.is_directory() && sub != "in" && sub != "out") v.push_back(family + "/" + sub);
    }
    if (v.size() == before) v.push_back(family);
  }
  std::sort(v.begin(), v.end());
  return v;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, testing::ValuesIn(caseNames()),
                         [](const auto& info) { return flat(info.param); });

}  // namespace
