// Whole runs of the real binary against golden files. Each folder under golden/ is one case:
//   args     one argument per line
//   in/      files copied into an empty working folder before the run
//   stdout   expected standard output, byte for byte
//   status   expected exit status
//   out/     files that must exist afterwards with exactly these bytes
//   absent   names (one per line) that must not exist afterwards
// PLOVANET_UPDATE_GOLDEN=1 rewrites stdout, status and out/ from what the binary does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void spill(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

std::vector<std::string> lines(const fs::path& p) {
  std::vector<std::string> v;
  std::ifstream f(p);
  for (std::string l; std::getline(f, l);) v.push_back(l);
  return v;
}

// Runs the binary in dir with args; returns the exit status, stdout saved to out.
int runIn(const fs::path& dir, const std::vector<std::string>& args, const fs::path& out) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    std::vector<char*> argv{const_cast<char*>(PLOVANET_BIN)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(PLOVANET_BIN, argv.data());
    _exit(127);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

std::vector<std::string> caseNames() {
  std::vector<std::string> v;
  for (const auto& e : fs::directory_iterator(PLOVANET_GOLDEN_DIR)) {
    if (e.is_directory()) v.push_back(e.path().filename().string());
  }
  std::sort(v.begin(), v.end());
  return v;
}

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, WholeRun) {
  const fs::path src = fs::path(PLOVANET_GOLDEN_DIR) / GetParam();
  const fs::path work = fs::temp_directory_path() / ("plovanet_golden_" + GetParam() + std::to_string(getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  if (fs::exists(src / "in")) fs::copy(src / "in", work, fs::copy_options::recursive);
  const fs::path captured = work.string() + ".stdout";
  const int status = runIn(work, lines(src / "args"), captured);
  const bool update = std::getenv("PLOVANET_UPDATE_GOLDEN") != nullptr;

  if (update) {
    spill(src / "stdout", slurp(captured));
    spill(src / "status", std::to_string(status) + "\n");
    if (fs::exists(src / "out")) {
      for (const auto& e : fs::directory_iterator(src / "out")) spill(e.path(), slurp(work / e.path().filename()));
    }
  }
  EXPECT_EQ(slurp(captured), slurp(src / "stdout"));
  EXPECT_EQ(std::to_string(status) + "\n", slurp(src / "status"));
  if (fs::exists(src / "out")) {
    for (const auto& e : fs::directory_iterator(src / "out")) {
      const fs::path made = work / e.path().filename();
      ASSERT_TRUE(fs::exists(made)) << made;
      EXPECT_EQ(slurp(made), slurp(e.path())) << e.path().filename();
    }
  }
  for (const auto& name : lines(src / "absent")) EXPECT_FALSE(fs::exists(work / name)) << name;
  fs::remove_all(work);
  fs::remove(captured);
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, testing::ValuesIn(caseNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
