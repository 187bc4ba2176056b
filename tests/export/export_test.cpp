// The printable dictionary: structure of the HTML and Markdown exports.

#include "export/export.h"

#include <gtest/gtest.h>

#include <QMap>
#include <QSet>
#include <QString>
#include <QXmlStreamReader>

#include "support/fixtures.h"

namespace lorelist::test {
namespace {

std::string Data(const char* name) {
  return ReadFile(std::string(LORELIST_EXPORT_DATA "/") + name);
}

// Quotations with markup-like and accented texts, a reference to an author
// node, an entry shared by two categories, a node cited twice by one category.
const std::string kEdgeCases = Data("edge-cases.txt");
// A UTF-8 dictionary: Greek, Cyrillic, Hebrew (texts of right to left, one
// opening with digits, in headings, references, derivations, citations and
// the index), an emoji, markup-like texts, and characters that XML forbids
// or that break a line: a control, a tab, a C1 control, noncharacters.
const std::string kUnicode = Data("unicode.txt");

std::string Export(const std::string& bytes, ExportFormat format = ExportFormat::kHtml) {
  Database db;
  EXPECT_EQ(LoadBytes(db, bytes).status, LoadResult::kComplete);
  StringSink sink;
  (format == ExportFormat::kHtml ? ExportHtml : ExportMarkdown)(db, "Florilex.txt", sink);
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
  QString error;                    // empty when well-formed
};

Document Read(const std::string& html) {
  Document doc;
  QXmlStreamReader xml(QString::fromStdString(html));
  QStringList openIds, texts;
  bool inIndex = false, inDd = false, inIndexLink = false;
  while (!xml.atEnd()) {
    xml.readNext();
    const QString tag = xml.name().toString();
    if (xml.isStartElement()) {
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
      inIndex = inIndex || (tag == "ul" && cls == "index");
      inIndexLink = inIndexLink || (inIndex && tag == "a");
      inDd = inDd || tag == "dd";
    } else if (xml.isCharacters()) {
      for (QString& t : texts) t += xml.text();
      if (inIndexLink) doc.indexEntries << xml.text().toString();
      if (inDd) doc.counts << xml.text().toString();
    } else if (xml.isEndElement()) {
      const QString id = openIds.takeLast(), text = texts.takeLast();
      if (!id.isEmpty()) doc.textById[id] = text;
      inIndex = inIndex && tag != "ul";
      inIndexLink = inIndexLink && tag != "a";
      inDd = inDd && tag != "dd";
    }
  }
  if (xml.hasError()) doc.error = xml.errorString();
  return doc;
}

// Self-contained, every link landing, also with empty trees; categories nest
// with headings by level and carry their references with quotation and
// derivation, the quotations who cites them, each category once; the subject
// index is in collation order and the colophon counts; nothing from the file
// becomes markup.
TEST(ExportHtml, IsAWellFormedDictionaryWhoseLinksAllLandAndNoTextIsMarkup) {
  const std::string html = Export(kEdgeCases);
  const Document doc = Read(html), empty = Read(Export(CrLf({"@@"}))),
                 unicode = Read(Export(kUnicode));
  for (const Document* d : {&doc, &empty, &unicode}) {
    ASSERT_EQ(d->error, "");
    for (const QString& link : d->links)
      EXPECT_TRUE(link.startsWith('#') && d->ids.contains(link.mid(1))) << link.toStdString();
  }
  EXPECT_EQ(empty.counts, QStringList(7, "0"));
  for (const char* id : {"c-1", "c-1-1", "c-2", "q-1", "q-1-1", "q-1-1-1", "q-1-1-2", "q-2"})
    EXPECT_TRUE(doc.ids.contains(id)) << id;
  EXPECT_EQ(doc.elements[doc.elements.indexOf("section#c-1.category") + 1], "h3");
  EXPECT_EQ(doc.elements[doc.elements.indexOf("section#c-1-1.category") + 1], "h4");

  for (const char* tag : {"script", "b", "i"}) EXPECT_FALSE(doc.elements.contains(tag)) << tag;
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;"), std::string::npos);
  const QString motto = doc.textById["q-1-1-1"];
  EXPECT_TRUE(motto.contains(
      QString::fromUtf8("Que sais-je? \"<script>alert(1)</script>\" p\u00e9renne \u0153")));
  const QString doubt = doc.textById["c-1"];
  EXPECT_TRUE(doubt.contains("Doubt & <i>doubters</i>"));
  EXPECT_TRUE(doubt.contains("the <motto>"));
  EXPECT_TRUE(doubt.contains(QString::fromUtf8("\u2014 Montaigne <b>bold</b> & co, Essais")));
  EXPECT_TRUE(doubt.contains("the author himself"));  // no derivation: the node's code
  EXPECT_TRUE(doubt.contains("Index entries: doubt; <shared>"));
  EXPECT_TRUE(motto.contains("cited under Doubt & <i>doubters</i>"));
  EXPECT_EQ(motto.count("Doubt"), 1);
  EXPECT_TRUE(doc.textById["q-1-1-2"].contains("cited under Heart"));
  EXPECT_FALSE(doc.textById["q-2"].contains("cited"));
  EXPECT_EQ(doc.indexEntries,
            QStringList({"<shared>", "<shared>", QString::fromUtf8("c\u0153ur"), "doubt"}));
  EXPECT_EQ(doc.counts, QStringList({"2", "3", "1", "4", "4", "3", "2"}));
}

// Byte for byte. Markdown: only what would become markup is escaped; no raw
// HTML (safe renderers drop it) and no links inside the document. A UTF-8
// dictionary's texts stand as they are, each text of right to left marked
// so in HTML, and what would break a document shows as U+FFFD.
TEST(Export, WritesItsGoldenFiles) {
  const std::pair<const std::string*, const char*> cases[] = {{&kEdgeCases, "edge-cases"},
                                                              {&kUnicode, "unicode"}};
  for (const auto& [bytes, name] : cases) {
    EXPECT_EQ(Export(*bytes), Data((std::string(name) + ".html").c_str())) << name;
    EXPECT_EQ(Export(*bytes, ExportFormat::kMarkdown), Data((std::string(name) + ".md").c_str()))
        << name;
  }
}

// What a CommonMark renderer makes of it: every text of the file shows as it
// is, and nothing in the file becomes a heading, list, quote, link or HTML.
TEST(ExportMarkdown, RendersInCommonMarkWithEveryTextAsItIs) {
  if (std::system("command -v cmark >/dev/null 2>&1") != 0) GTEST_SKIP() << "no cmark here";
  // Texts that look like Markdown, each a quotation and a reference to it.
  const std::string bytes = Data("markdown-lookalikes.txt");
  TempDir dir;
  WriteFile(dir.File("in.md"), Export(bytes, ExportFormat::kMarkdown));
  ASSERT_EQ(std::system(("cmark " + dir.File("in.md") + " >" + dir.File("out.html")).c_str()), 0);
  const std::string html = ReadFile(dir.File("out.html"));
  Database db;
  LoadBytes(db, bytes);
  HTREEITEM work = NodeAt(db.quotations, "1.1");
  ASSERT_GT(db.quotations.GetChildCount(work), 10);
  for (int i = 0; i < db.quotations.GetChildCount(work); ++i) {
    const std::string text(db.quotations.GetItemText(db.quotations.GetChildAt(work, i)));
    SCOPED_TRACE(text);
    std::string shown;
    for (char c : text)
      shown += c == '&'   ? "&amp;"
               : c == '<' ? "&lt;"
               : c == '>' ? "&gt;"
               : c == '"' ? "&quot;"
                          : std::string(1, c);
    // In the category's references (in a quote) and in the Quotations section.
    size_t count = 0;
    for (size_t at = html.find(shown); at != std::string::npos; at = html.find(shown, at + 1))
      ++count;
    EXPECT_GE(count, 2u) << html;
  }
  EXPECT_NE(html.find("<h3>1 &gt; a category</h3>"), std::string::npos);
  EXPECT_NE(html.find("<li>- entry \xE2\x80\x94 1 &gt; a category</li>"), std::string::npos);
  for (const char* never : {"raw HTML omitted", "<a ", "<hr", "<code>"})
    EXPECT_EQ(html.find(never), std::string::npos) << never;
  EXPECT_EQ(html.find("<h1>", html.find("<h1>") + 1), std::string::npos);
}

TEST(ExportToFile, WritesTheWholeExportOrNothingWhenCancelled) {
  Database db;
  LoadBytes(db, kEdgeCases);
  TempDir dir;
  const std::string path = dir.File("out.html");
  std::vector<double> shares;
  SaveResult done = ExportToFile(db, ExportFormat::kHtml, "Florilex.txt", path, [&](double share) {
    shares.push_back(share);
    return true;
  });
  ASSERT_TRUE(done.ok) << done.message;
  EXPECT_EQ(ReadFile(path), Export(kEdgeCases));
  ASSERT_FALSE(shares.empty());
  EXPECT_EQ(shares.back(), 1.0);

  // Cancelled part way over a file already there: it stays as it was, and no
  // temporary file is left.
  SaveResult cancelled =
      ExportToFile(db, ExportFormat::kMarkdown, "Florilex.txt", path, [](double) { return false; });
  EXPECT_FALSE(cancelled.ok);
  EXPECT_EQ(cancelled.message, "cancelled");
  EXPECT_EQ(ReadFile(path), Export(kEdgeCases));
  EXPECT_FALSE(Exists(path + ".lorelist-new"));
}

}  // namespace
}  // namespace lorelist::test
