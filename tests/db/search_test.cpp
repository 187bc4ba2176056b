// Text search in both encodings, each case a line of data/search-cases.txt.

#include "db/search.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "db/charset.h"

namespace lorelist {
namespace {

// A field of the cases with its escapes (\u{XXXX}, \xHH, \t) read.
std::string Unescaped(const std::string& field) {
  std::string bytes;
  for (size_t at = 0; at < field.size(); ++at) {
    if (field[at] != '\\' || at + 1 == field.size()) {
      bytes += field[at];
    } else if (field[at + 1] == 'u') {
      const size_t close = field.find('}', at);
      AppendUtf8(bytes, static_cast<char32_t>(
                            std::stoul(field.substr(at + 3, close - at - 3), nullptr, 16)));
      at = close;
    } else if (field[at + 1] == 'x') {
      bytes += static_cast<char>(std::stoul(field.substr(at + 2, 2), nullptr, 16));
      at += 3;
    } else {
      bytes += '\t';
      ++at;
    }
  }
  return bytes;
}

TEST(TextMatcher, FindsWhatEachCaseSays) {
  std::ifstream in(LORELIST_DB_DATA "/search-cases.txt");
  ASSERT_TRUE(in);
  int cases = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
    ASSERT_EQ(fields.size(), 5u) << line;
    SCOPED_TRACE(line);
    const TextMatcher matcher(Unescaped(fields[3]), fields[1] == "case",
                              fields[0] == "utf-8" ? Encoding::kUtf8 : Encoding::kWindows1252);
    const std::string text = Unescaped(fields[4]);
    const bool found = fields[2] == "yes";
    EXPECT_EQ(matcher.Matches(text), found);
    // Alike among other characters, long enough for every way of looking.
    EXPECT_EQ(matcher.Matches("<" + text + "> -- 1, 2, 3, 4 -- " + text + "."), found);
    ++cases;
  }
  EXPECT_GT(cases, 60);
}

}  // namespace
}  // namespace lorelist
