#include <gtest/gtest.h>

#include <string>

#include "db/charset.h"
#include "db/load.h"
#include "support/fixtures.h"

namespace lorelist {
namespace {

TEST(Charset, EveryByteSurvivesTheRoundTrip) {
  for (int byte = 0; byte < 256; ++byte)
    EXPECT_EQ(UnicodeToCp1252(Cp1252ToUnicode(static_cast<unsigned char>(byte))), byte);
  EXPECT_EQ(Cp1252ToUnicode(0x80), u'\u20AC');
  EXPECT_EQ(Cp1252ToUnicode(0x9C), u'\u0153');
  EXPECT_EQ(UnicodeToCp1252(U'\u4E2D'), -1);
}

TEST(Utf8Sniffer, KnowsUtf8FromWindows1252HoweverTheBytesAreCut) {
  const std::string ascii(100, 'a');
  const struct {
    std::string bytes;
    bool utf8;
  } cases[] = {
      {ascii, false},  // nothing to tell
      {ascii + "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true},
      {ascii + "caf\xE9", false},  // an accent of Windows-1252
      {ascii + "\x80 \x9C", false},
      {"\xC0\x80", false},  // overlong
      {"\xE0\x80\x80", false},
      {"\xED\xA0\x80", false},               // a surrogate
      {"\xF4\x90\x80\x80", false},           // past U+10FFFF
      {"caf\xC3", false},                    // cut off at the end
      {"\xC3\xA9" + ascii + "\xE9", false},  // valid at first only
  };
  for (const auto& c : cases) {
    for (size_t piece : {1, 3, 8, 1000}) {
      SCOPED_TRACE(c.bytes + " in pieces of " + std::to_string(piece));
      Utf8Sniffer sniffer;
      for (size_t at = 0; at < c.bytes.size(); at += piece)
        sniffer.Add(c.bytes.data() + at, std::min(piece, c.bytes.size() - at));
      EXPECT_EQ(sniffer.LooksLikeUtf8(), c.utf8);
    }
  }
}

TEST(LoadDatabase, SaysWhenTheFileLooksLikeUtf8) {
  Database db;
  EXPECT_TRUE(test::LoadBytes(db, "@Q1 Caf\xC3\xA9\r\n@@\r\n@C1 x\r\n").looksLikeUtf8);
  EXPECT_FALSE(test::LoadBytes(db, "@Q1 Caf\xE9\r\n@@\r\n@C1 x\r\n").looksLikeUtf8);
  // Also when loading stops: the notice may be why.
  const LoadResult stopped = test::LoadBytes(db, "@Q2 Caf\xC3\xA9\r\n");
  EXPECT_EQ(stopped.status, LoadResult::kStopped);
  EXPECT_TRUE(stopped.looksLikeUtf8);
  EXPECT_EQ(Utf8Notice("/q/Florilex.txt"),
            "/q/Florilex.txt looks like UTF-8 text. Lorelist reads and writes Windows-1252, so "
            "accented letters may show wrongly. lorelist-db convert can change the file's "
            "encoding.");
}

}  // namespace
}  // namespace lorelist
