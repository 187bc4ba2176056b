// The printable dictionary: structure of the HTML and Markdown exports.

#include "export/export.h"

#include <gtest/gtest.h>

#include <QMap>
#include <QSet>
#include <QString>
#include <QXmlStreamReader>

#include "db/load.h"
#include "db/statistics.h"
#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::CrLf;
using test::TempDir;

// Quotations with markup-like and accented texts, a reference to an author
// node, an entry shared by two categories, a node cited twice by one category.
const std::string kEdgeCases = test::ReadFile(LORELIST_EXPORT_DATA "/edge-cases.txt");

Database& Load(Database& db, const std::string& bytes) {
  TempDir dir;
  test::WriteFile(dir.File("Florilex.txt"), bytes);
  EXPECT_EQ(LoadDatabase(db, dir.File("Florilex.txt")).status, LoadResult::kComplete);
  return db;
}

std::string Html(const std::string& bytes) {
  Database db;
  StringSink sink;
  ExportHtml(Load(db, bytes), "Florilex.txt", sink);
  return sink.Text();
}

std::string Markdown(const std::string& bytes) {
  Database db;
  StringSink sink;
  ExportMarkdown(Load(db, bytes), "Florilex.txt", sink);
  return sink.Text();
}

// The HTML document read as XML: every element with its attributes and the
// text of the elements of interest.
struct Document {
  QStringList elements;  // "tag#id.class" in document order
  QSet<QString> ids;
  QStringList links;                // every href
  QMap<QString, QString> textById;  // text content of elements with an id
  QStringList indexEntries;         // ul.index > li > a text
  QStringList counts;               // dd texts of the colophon
  bool wellFormed = false;
  QString error;
};

Document Read(const std::string& html) {
  Document doc;
  QXmlStreamReader xml(QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size())));
  QStringList openIds;
  QStringList texts;
  bool inIndex = false, inDd = false, inIndexLink = false;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement()) {
      const QString tag = xml.name().toString();
      const QString id = xml.attributes().value("id").toString();
      const QString cls = xml.attributes().value("class").toString();
      doc.elements << tag + (id.isEmpty() ? "" : "#" + id) + (cls.isEmpty() ? "" : "." + cls);
      if (!id.isEmpty()) {
        EXPECT_FALSE(doc.ids.contains(id)) << "duplicate id " << id.toStdString();
        doc.ids.insert(id);
      }
      if (xml.attributes().hasAttribute("href"))
        doc.links << xml.attributes().value("href").toString();
      openIds << id;
      texts << QString();
      if (tag == "ul" && cls == "index") inIndex = true;
      if (inIndex && tag == "a") inIndexLink = true;
      if (tag == "dd") inDd = true;
    } else if (xml.isCharacters()) {
      for (QString& t : texts) t += xml.text();
      if (inIndexLink) doc.indexEntries << xml.text().toString();
      if (inDd) doc.counts << xml.text().toString();
    } else if (xml.isEndElement()) {
      const QString tag = xml.name().toString();
      const QString id = openIds.takeLast();
      const QString text = texts.takeLast();
      if (!id.isEmpty()) doc.textById[id] = text;
      if (tag == "ul") inIndex = false;
      if (tag == "a") inIndexLink = false;
      if (tag == "dd") inDd = false;
    }
  }
  doc.wellFormed = !xml.hasError();
  doc.error = xml.errorString();
  return doc;
}

TEST(ExportHtml, IsAWellFormedDocumentWhoseLinksAllLand) {
  const Document doc = Read(Html(kEdgeCases));
  ASSERT_TRUE(doc.wellFormed) << doc.error.toStdString();
  for (const QString& link : doc.links) {
    ASSERT_TRUE(link.startsWith('#')) << link.toStdString();  // self-contained
    EXPECT_TRUE(doc.ids.contains(link.mid(1))) << link.toStdString();
  }
  for (const char* id : {"contents", "categories", "subject-index", "quotations", "colophon", "c-1",
                         "c-1-1", "c-2", "q-1", "q-1-1", "q-1-1-1", "q-1-1-2", "q-2"})
    EXPECT_TRUE(doc.ids.contains(id)) << id;
  // Categories nest: 1.1 inside 1, with headings by level.
  EXPECT_TRUE(doc.elements.contains("section#c-1.category"));
  const qsizetype c1 = doc.elements.indexOf("section#c-1.category");
  EXPECT_EQ(doc.elements[c1 + 1], "h3");
  const qsizetype c11 = doc.elements.indexOf("section#c-1-1.category");
  EXPECT_EQ(doc.elements[c11 + 1], "h4");
}

TEST(ExportHtml, NothingFromTheFileBecomesMarkup) {
  const std::string html = Html(kEdgeCases);
  const Document doc = Read(html);
  ASSERT_TRUE(doc.wellFormed);
  EXPECT_FALSE(doc.elements.contains("script"));
  EXPECT_FALSE(doc.elements.contains("b"));
  EXPECT_FALSE(doc.elements.contains("i"));
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;"), std::string::npos);
  EXPECT_TRUE(doc.textById["q-1-1-1"].contains(
      QString::fromUtf8("Que sais-je? \"<script>alert(1)</script>\" p\u00e9renne \u0153")));
  EXPECT_TRUE(doc.textById["c-1"].contains("Doubt & <i>doubters</i>"));
}

TEST(ExportHtml, CategoriesCarryTheirReferencesWithQuotationAndDerivation) {
  const Document doc = Read(Html(kEdgeCases));
  const QString doubt = doc.textById["c-1"];
  // The reference's own text, the quotation, where it comes from.
  EXPECT_TRUE(doubt.contains("the <motto>"));
  EXPECT_TRUE(doubt.contains(QString::fromUtf8("\u2014 Montaigne <b>bold</b> & co, Essais")));
  // A reference to the author node itself: no derivation, the node's code.
  EXPECT_TRUE(doubt.contains("the author himself"));
  EXPECT_TRUE(doubt.contains("Index entries: doubt; <shared>"));
  // The quotations tree shows who cites each node, each category once.
  const QString motto = doc.textById["q-1-1-1"];
  EXPECT_TRUE(motto.contains("cited under Doubt & <i>doubters</i>"));
  EXPECT_EQ(motto.count("Doubt"), 1);
  EXPECT_TRUE(doc.textById["q-1-1-2"].contains("cited under Heart"));
  EXPECT_FALSE(doc.textById["q-2"].contains("cited"));
}

TEST(ExportHtml, SubjectIndexIsInCollationOrderAndColophonCounts) {
  Database db;
  Load(db, kEdgeCases);
  const Document doc = Read(Html(kEdgeCases));
  EXPECT_EQ(doc.indexEntries,
            QStringList({"<shared>", "<shared>", QString::fromUtf8("c\u0153ur"), "doubt"}));
  const Statistics counts = CountStatistics(db);
  ASSERT_EQ(doc.counts.size(), kStatisticsRows);
  for (int row = 0; row < kStatisticsRows; ++row)
    EXPECT_EQ(doc.counts[row], QString::number(counts.Row(row)));
}

TEST(ExportHtml, EmptyTreesGiveAnEmptyButWholeDictionary) {
  const Document doc = Read(Html(CrLf({"@@"})));
  ASSERT_TRUE(doc.wellFormed);
  EXPECT_TRUE(doc.ids.contains("categories"));
  EXPECT_TRUE(doc.ids.contains("colophon"));
  EXPECT_EQ(doc.counts, QStringList({"0", "0", "0", "0", "0", "0", "0"}));
}

TEST(ExportMarkdown, EscapesOnlyWhatWouldBecomeMarkup) {
  const std::string md = Markdown(kEdgeCases);
  auto has = [&](const std::string& text) { return md.find(text) != std::string::npos; };
  EXPECT_TRUE(has("### 1 Doubt & \\<i>doubters\\</i>\n")) << md;
  EXPECT_TRUE(has("#### 1.1 Wager\n"));
  EXPECT_TRUE(has("**1.1.2** # not a heading \\*nor emphasis\\* \\[nor\\](a link)"));
  EXPECT_TRUE(has("\"\\<script>alert(1)\\</script>\" p\xC3\xA9renne \xC5\x93"));
  EXPECT_TRUE(has("1. **the \\<motto>**\n\n   > Que sais-je?"));
  EXPECT_TRUE(has("   > \xE2\x80\x94 *Montaigne \\<b>bold\\</b> & co, Essais* 1.1.1\n"));
  EXPECT_TRUE(has("2. **the author himself**\n\n   > Montaigne"));
  EXPECT_TRUE(has("   > \xE2\x80\x94 1\n"));
  EXPECT_TRUE(has("- \\<shared> \xE2\x80\x94 1 Doubt & \\<i>doubters\\</i>\n"));
  EXPECT_TRUE(has("- \\<shared> \xE2\x80\x94 2 Heart\n"));
  EXPECT_TRUE(has("*cited under* Heart (2)"));
  EXPECT_TRUE(has("- references: 4\n"));
  EXPECT_FALSE(has("<a ")) << "no raw HTML: safe renderers drop it";
  EXPECT_FALSE(has("](#")) << "no links inside the document";
}

// What a CommonMark renderer makes of it: every text of the file shows as it
// is, and nothing in the file becomes a heading, list, quote, link or HTML.
TEST(ExportMarkdown, RendersInCommonMarkWithEveryTextAsItIs) {
  if (std::system("command -v cmark >/dev/null 2>&1") != 0) GTEST_SKIP() << "no cmark here";
  const char* const tricky[] = {"- a dash",       "1. numbered",
                                "2) numbered",    "> quoted",
                                "=====",          "+ plus",
                                "trailing #",     "a & b &amp; &#38;",
                                "<http://x.org>", "`code` _under_",
                                "back\\slash",    "| pipe |",
                                "#hash",          "***"};
  std::vector<std::string> lines = {"@Q1 Author", "@Q1.1 Work"};
  int n = 0;
  for (const char* text : tricky) lines.push_back("@Q1.1." + std::to_string(++n) + " " + text);
  lines.push_back("@@");
  lines.push_back("@C1 > a category");
  for (int i = 1; i <= n; ++i) lines.push_back("@R1.1." + std::to_string(i) + " " + tricky[i - 1]);
  lines.push_back("@S- entry");
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";

  TempDir dir;
  test::WriteFile(dir.File("in.md"), Markdown(bytes));
  ASSERT_EQ(std::system(("cmark " + dir.File("in.md") + " >" + dir.File("out.html")).c_str()), 0);
  const std::string html = test::ReadFile(dir.File("out.html"));
  auto escaped = [](std::string text) {
    std::string out;
    for (char c : text) {
      if (c == '&')
        out += "&amp;";
      else if (c == '<')
        out += "&lt;";
      else if (c == '>')
        out += "&gt;";
      else if (c == '"')
        out += "&quot;";
      else
        out += c;
    }
    return out;
  };
  for (const char* text : tricky) {
    SCOPED_TRACE(text);
    // In the category's references (in a quote) and in the Quotations section.
    const std::string shown = escaped(text);
    size_t count = 0;
    for (size_t at = html.find(shown); at != std::string::npos; at = html.find(shown, at + 1))
      ++count;
    EXPECT_GE(count, 2u) << html;
  }
  EXPECT_NE(html.find("<h3>1 &gt; a category</h3>"), std::string::npos);
  EXPECT_NE(html.find("<li>- entry \xE2\x80\x94 1 &gt; a category</li>"), std::string::npos);
  EXPECT_EQ(html.find("raw HTML omitted"), std::string::npos);
  EXPECT_EQ(html.find("<a "), std::string::npos);
  EXPECT_EQ(html.find("<hr"), std::string::npos);
  EXPECT_EQ(html.find("<code>"), std::string::npos);
  EXPECT_EQ(html.find("<h1>", html.find("<h1>") + 1), std::string::npos);
}

TEST(ExportToFile, WritesTheWholeExportOrNothingWhenCancelled) {
  Database db;
  Load(db, kEdgeCases);
  TempDir dir;
  const std::string path = dir.File("out.html");
  std::vector<double> shares;
  SaveResult done = ExportToFile(db, ExportFormat::kHtml, "Florilex.txt", path, [&](double share) {
    shares.push_back(share);
    return true;
  });
  ASSERT_TRUE(done.ok) << done.message;
  EXPECT_EQ(test::ReadFile(path), Html(kEdgeCases));
  ASSERT_FALSE(shares.empty());
  EXPECT_EQ(shares.back(), 1.0);

  // Cancelled part way over a file already there: it stays as it was, and no
  // temporary file is left.
  SaveResult cancelled =
      ExportToFile(db, ExportFormat::kMarkdown, "Florilex.txt", path, [](double) { return false; });
  EXPECT_FALSE(cancelled.ok);
  EXPECT_EQ(cancelled.message, "cancelled");
  EXPECT_EQ(test::ReadFile(path), Html(kEdgeCases));
  EXPECT_FALSE(test::Exists(path + ".lorelist-new"));
}

}  // namespace
}  // namespace lorelist
