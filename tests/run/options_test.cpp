// Every keyword documented: in the README's table, the manual's OPTIONS and --help. What each one
// sets is shown by whole runs: golden/options_one_argument (which keyword wins within one
// argument, where a keyword is looked for, the no-op ones, the extreme SEED=), the layout, mode,
// recruitment, study and side-file cases, refused_values, loose_older_numbers and
// warn_resembling_keywords_more.
#include "run/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "run/keywords.h"
#include "support.h"

namespace plovanet {

namespace {

// One section of a file of the sources, from its heading to the next.
std::string section(const char* file, const std::string& heading, const std::string& next) {
  const std::string text = test::slurp(std::string(PLOVANET_TESTS_DIR) + "/../" + file);
  const auto at = text.find(heading);
  return at == std::string::npos ? "" : text.substr(at, text.find(next, at + heading.size()) - at);
}

// The names in an entry's head, "NAME={A|B}" spelled out as NAME=A and NAME=B.
void addNames(std::string head, std::vector<std::string>& names) {
  for (char& ch : head) {
    if (ch == '`' || ch == '"' || ch == ',') ch = ' ';
  }
  std::istringstream in(head);
  for (std::string w; in >> w;) {
    const auto open = w.find('{');
    if (open == std::string::npos) names.push_back(w);
    for (auto at = open; at != std::string::npos && at + 1 < w.size(); at = w.find('|', at + 1)) {
      names.push_back(w.substr(0, open) + w.substr(at + 1, w.find_first_of("|}", at + 1) - at - 1));
    }
  }
}

}  // namespace

// Each keyword heads an entry of README's table of keywords, of the manual's OPTIONS and of
// --help.
TEST(Options, EveryKeywordIsDocumented) {
  std::map<std::string, std::vector<std::string>> names{
      {"README.md", {}}, {"plovanet.1", {}}, {"--help", {}}};
  std::istringstream readme(section("README.md", "\n## Options\n", "\n## "));
  for (std::string line; std::getline(readme, line);) {
    if (line.starts_with("| `")) addNames(line.substr(1, line.find('|', 1) - 1), names["README.md"]);
  }
  std::istringstream man(section("doc/plovanet.1", "\n.SH OPTIONS\n", "\n.SH "));
  for (std::string line; std::getline(man, line);) {
    if (line == ".TP" && std::getline(man, line))
      addNames(line.substr(line.find(' ') + 1), names["plovanet.1"]);
  }
  std::istringstream help(helpText());
  for (std::string line; std::getline(help, line);) {
    // "  NAME    : text"; the usage text's RECRUIT= has no space before its colon.
    if (line.starts_with("  ")) addNames(line.substr(0, line.find(':')), names["--help"]);
  }
  for (const Keyword& k : kKeywords) {
    for (const auto& [where, list] : names) {
      const bool found = std::any_of(list.begin(), list.end(), [&k](const std::string& n) {
        return n == k.key || (k.key.back() == '=' && n.starts_with(k.key));
      });
      EXPECT_TRUE(found) << k.key << " is not documented in " << where;
    }
  }
}

}  // namespace plovanet
