#include <gtest/gtest.h>
#include <unicode/utf8.h>

#include <string>

#include "db/charset.h"
#include "db/collation.h"
#include "db/journal.h"
#include "db/load.h"
#include "fuzz/round_trip.h"
#include "support/capture_ops.h"
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

// Every sequence of up to four bytes drawn from the edges of UTF-8's ranges,
// at every place against the eight bytes read at once: as long a valid start
// as ICU's own reading finds.
TEST(ValidUtf8Length, AgreesWithIcuOnEverySequenceAtTheEdgesOfTheRanges) {
  const unsigned char edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE,
                                 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
  auto icu = [](std::string_view bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto size = static_cast<int32_t>(bytes.size());
    int32_t at = 0;
    for (int32_t next = 0; next < size; at = next) {
      UChar32 ch;
      U8_NEXT(p, next, size, ch);
      if (ch < 0) break;
    }
    return static_cast<size_t>(at);
  };
  std::string sequence;
  for (size_t n = 0; n < 25 * 25 * 25 * 25; ++n) {
    sequence.clear();
    for (size_t k = n; k; k /= 25) sequence += static_cast<char>(edges[k % 25]);
    for (size_t before : {0, 5, 7, 8}) {
      // Valid to the end, or not, and a sequence left open across eight
      // bytes of ASCII.
      for (const char* after : {"", "\xCE\xB1 bcdefgh", "\xC3", "abcdefgh\x80"}) {
        const std::string bytes = std::string(before, 'a') + sequence + after;
        ASSERT_EQ(ValidUtf8Length(bytes), icu(bytes)) << testing::PrintToString(bytes);
      }
    }
  }
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
            "/q/Florilex.txt looks like UTF-8 text without the mark that tells Lorelist so: it is "
            "read as Windows-1252, so accented letters may show wrongly. lorelist-db convert "
            "--mark-utf8 FILE OUT marks it.");
}

// Sorted lists in a UTF-8 dictionary: case ignored in every script, accents
// counted, and an accented letter and the letter with a combining accent
// sort as one.
TEST(CollationKey, FoldsCaseInEveryScriptAndTakesCanonicalFormsAsOne) {
  auto key = [](const char* text) { return CollationKey(text, Encoding::kUtf8); };
  EXPECT_EQ(key("\xC3\xA9"
                "crits"),
            key("e\xCC\x81"
                "crits"));  // é, e + U+0301
  EXPECT_EQ(key("\xCE\xA3\xCE\xAF\xCE\xB3\xCE\xBC\xCE\xB1"),
            key("\xCF\x83\xCE\xAF\xCE\xB3\xCE\xBC\xCE\xB1"));  // Σίγμα σίγμα
  EXPECT_EQ(key("\xC5\x81\xC3\xB3"
                "d\xC5\xBA"),
            key("\xC5\x82\xC3\xB3"
                "d\xC5\xBA"));  // Łódź łódź
  EXPECT_NE(key("ecrits"), key("\xC3\xA9"
                               "crits"));
  // The same characters give the same key in either encoding.
  EXPECT_EQ(CollationKey("\xC9t\xE9", Encoding::kWindows1252), key("\xC3\x89t\xC3\xA9"));
}

// Convert to Unicode changes the bytes, not the characters: Save writes the
// mark and UTF-8; undone, the file as it was; replayed from the journal, the
// same again.
TEST(ConvertEncoding, ToUnicodeAndBackIsOneEditThatSavesAndReplaysExactly) {
  const std::string cp1252 =
      test::CrLf({"@Q1 S\xE9n\xE8que", "@Q1.1 Lettres \xE0 Lucilius", "@@", "@C1 Temps",
                  "@Sd\xE9lai", "@Sd\xE9lai", "@Sattente", "@R1.1 \x93vita\x94"});
  std::string utf8(kByteOrderMark);
  AppendCp1252AsUtf8(utf8, cp1252);
  test::TempDir dir;
  test::WriteFile(dir.File("Florilex.txt"), cp1252);
  Database db;
  LoadDatabase(db, dir.File("Florilex.txt"));
  Journal journal(dir.path());
  db.SetJournal(&journal);

  ASSERT_EQ(db.ConvertEncoding(Encoding::kUtf8), "");
  EXPECT_EQ(db.UndoName(), "Convert to Unicode");
  EXPECT_EQ(test::WrittenDatabase(db), utf8);
  EXPECT_NE(db.ConvertEncoding(Encoding::kUtf8), "");
  const HTREEITEM first = db.quotations.GetRootItem();
  ASSERT_EQ(db.UpdateText(Tree::kQuotations, first, "\xC5\x81ukasz"), "");  // Ł
  EXPECT_NE(db.ConvertEncoding(Encoding::kWindows1252), "") << "Ł has no byte there";
  ASSERT_EQ(db.AddSubject(db.categories.GetRootItem(),
                          "\xCF\x87\xCF\x81\xCF\x8C\xCE\xBD\xCE\xBF\xCF\x82"),
            "");
  // The second of two equal entries: its own line of the list goes.
  const HTREEITEM category = db.categories.GetRootItem();
  ASSERT_EQ(db.DeleteSubject(category, db.Record(category)->subjectEntries[1], 1, -1), "");
  const std::string edited = test::WrittenDatabase(db);

  Database replayed;
  LoadDatabase(replayed, dir.File("Florilex.txt"));
  const JournalContents found = Journal::Read(journal.Path(), replayed);
  EXPECT_EQ(Journal::Replay(replayed, found.records), 4u);
  EXPECT_EQ(test::WrittenDatabase(replayed), edited);
  EXPECT_EQ(test::CheckConsistency(replayed), "");

  for (int i = 0; i < 3; ++i) ASSERT_TRUE(db.Undo());
  EXPECT_EQ(test::WrittenDatabase(db), utf8);
  ASSERT_TRUE(db.Undo());
  EXPECT_EQ(db.encoding, Encoding::kWindows1252);
  EXPECT_EQ(test::WrittenDatabase(db), cp1252);
  EXPECT_EQ(test::CheckConsistency(db), "");
  ASSERT_TRUE(db.Redo());
  EXPECT_EQ(test::WrittenDatabase(db), utf8);
}

}  // namespace
}  // namespace lorelist
