// Whole runs of the real binary against golden files. Each folder under golden/ is one case:
// args (one argument per line), in/ (copied into an empty working folder), stdout and status
// (expected byte for byte), out/ (files that must exist afterwards with these bytes) and absent
// (names that must not exist). PLOVANET_UPDATE_GOLDEN=1 rewrites stdout, status and out/.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
  std::ostringstream s;
  s << std::ifstream(p, std::ios::binary).rdbuf();
  return s.str();
}

std::string shellQuoted(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, WholeRun) {
  const fs::path src = fs::path(PLOVANET_GOLDEN_DIR) / GetParam();
  const fs::path work = fs::temp_directory_path() / ("plovanet_" + GetParam() + std::to_string(getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  if (fs::exists(src / "in")) fs::copy(src / "in", work, fs::copy_options::recursive);
  std::string cmd = "cd " + shellQuoted(work.string()) + " && " + shellQuoted(PLOVANET_BIN);
  std::ifstream args(src / "args");
  for (std::string a; std::getline(args, a);) cmd += " " + shellQuoted(a);
  const int st = std::system((cmd + " > " + shellQuoted(work.string() + ".stdout") + " </dev/null").c_str());
  const std::string status = std::to_string(WEXITSTATUS(st)) + "\n", out = slurp(work.string() + ".stdout");

  const bool update = std::getenv("PLOVANET_UPDATE_GOLDEN") != nullptr;
  if (update) std::ofstream(src / "stdout", std::ios::binary) << out;
  if (update) std::ofstream(src / "status") << status;
  EXPECT_EQ(out, slurp(src / "stdout"));
  EXPECT_EQ(status, slurp(src / "status"));
  if (fs::exists(src / "out")) {
    for (const auto& e : fs::directory_iterator(src / "out")) {
      const fs::path made = work / e.path().filename();
      if (update) std::ofstream(e.path(), std::ios::binary) << slurp(made);
      EXPECT_TRUE(fs::exists(made)) << made;
      EXPECT_EQ(slurp(made), slurp(e.path())) << e.path().filename();
    }
  }
  std::ifstream absent(src / "absent");
  for (std::string name; std::getline(absent, name);) EXPECT_FALSE(fs::exists(work / name)) << name;
  fs::remove_all(work);
  fs::remove(work.string() + ".stdout");
}

std::vector<std::string> caseNames() {
  std::vector<std::string> v;
  for (const auto& e : fs::directory_iterator(PLOVANET_GOLDEN_DIR)) v.push_back(e.path().filename().string());
  std::sort(v.begin(), v.end());
  return v;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, testing::ValuesIn(caseNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
