// The output file's temporary file belongs to it: whatever path the run takes, a file not put in
// place leaves the earlier file as it was and nothing beside it.
#include "run/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "output/writer.h"
#include "support.h"

namespace plovanet {

namespace {

namespace fs = std::filesystem;

std::size_t entries(const fs::path& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

}  // namespace

TEST(Files, ATemporaryFileIsRemovedUnlessPutInPlace) {
  struct Case {
    const char* name;
    std::optional<std::string> earlier;  // the target's content before the run; none: no file
    bool commit, moved;
  } cases[] = {
      {"dropped, earlier file kept", "earlier\n", false, false},
      {"dropped, no file made", std::nullopt, false, false},
      {"dropped after a move", "earlier\n", false, true},
      {"put in place", "earlier\n", true, false},
      {"put in place after a move", std::nullopt, true, true},
  };
  const fs::path dir = fs::temp_directory_path() / ("plovanet_files_" + std::to_string(getpid()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string target = (dir / "o.out").string();
    if (c.earlier) std::ofstream(target) << *c.earlier;
    {
      OutputFile of;
      std::FILE* fp = nullptr;
      ASSERT_FALSE(openOutput(of, target, {}, 3, fp));
      ASSERT_FALSE(of.temp.empty());
      Writer w = makeWriter(fp);
      put(w, "new\n");
      ASSERT_TRUE(closeWriter(w));
      OutputFile owner = c.moved ? std::move(of) : OutputFile{};
      OutputFile& file = c.moved ? owner : of;
      if (c.commit) EXPECT_TRUE(commitOutput(file));
    }
    const bool exists = c.commit || c.earlier.has_value();
    EXPECT_EQ(entries(dir), exists ? 1U : 0U);
    if (exists) EXPECT_EQ(test::slurp(target), c.commit ? "new\n" : *c.earlier);
  }
  fs::remove_all(dir);
}

}  // namespace plovanet
