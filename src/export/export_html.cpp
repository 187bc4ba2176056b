#include <unicode/uchar.h>

#include <algorithm>

#include "db/charset.h"
#include "dictionary.h"
#include "export.h"
#include "export_text.h"

namespace lorelist {

namespace {

const EscapeTable& Html() {
  static const EscapeTable table([](char32_t ch) {
    switch (ch) {
      case '&':
        return std::string("&amp;");
      case '<':
        return std::string("&lt;");
      case '>':
        return std::string("&gt;");
      case '"':
        return std::string("&quot;");
      case '\'':
        return std::string("&#39;");
      default: {
        std::string form;
        AppendUtf8(form, ch);
        return form;
      }
    }
  });
  return table;
}

const char* const kStyle = R"(
body { font-family: "Times New Roman", Times, "Liberation Serif", serif; font-size: 12pt;
       line-height: 1.45; color: #111; max-width: 44em; margin: 2em auto; padding: 0 1em; }
header { text-align: center; margin-bottom: 2em; }
header h1 { font-size: 2.4em; letter-spacing: .08em; margin-bottom: .1em; }
header p { font-style: italic; margin-top: 0; }
h2 { font-size: 1.6em; border-bottom: 1px solid #999; padding-bottom: .2em; margin-top: 2em; }
h3 { font-size: 1.3em; margin: 1.4em 0 .4em; }
h4 { font-size: 1.1em; margin: 1.1em 0 .3em; }
h5, h6 { font-size: 1em; margin: .9em 0 .3em; }
a { color: #1a3d7c; text-decoration: none; }
.code { color: #777; font-size: .8em; font-weight: normal; margin-right: .5em; }
.category .category { margin-left: 1.2em; }
.subjects { font-size: .9em; color: #444; margin: .2em 0 .5em; }
.subjects .label { font-variant: small-caps; }
ol.references { padding-left: 1.4em; }
ol.references li { margin-bottom: .8em; }
.ref-text { font-weight: bold; margin: 0 0 .2em; }
blockquote { margin: 0 0 0 .2em; }
blockquote p { margin: 0; }
.source { font-style: italic; font-size: .9em; color: #333; }
ul.index { columns: 2; column-gap: 2em; padding-left: 0; list-style: none; font-size: .95em; }
ul.index li { break-inside: avoid; }
.where { color: #666; font-size: .85em; }
.node { margin-left: 1.2em; }
p.quotation { margin: .3em 0 .5em; }
.cited { font-size: .8em; color: #555; }
nav ol { list-style: none; padding-left: 1.2em; }
dl.counts { display: grid; grid-template-columns: max-content auto; gap: .2em 1em; }
dl.counts dd { margin: 0; text-align: right; }
@media print {
  body { max-width: none; margin: 0; font-size: 11pt; }
  a { color: inherit; }
  nav, #categories, #subject-index, #quotations, #colophon { break-before: page; }
  h2, h3, h4, h5, h6 { break-after: avoid; }
  li, p.quotation { break-inside: avoid; }
}
)";

// The attribute that marks a text that runs from right to left, by its first
// strong character as the bidirectional algorithm finds a paragraph's
// direction (what ubidi_getBaseDirection does, without a UTF-16 copy): ""
// for the rest, which the document's own left to right suits. Said outright
// rather than left to dir="auto": the Print preview's rich text knows "rtl"
// but not "auto", and a text of left to right, most of them, needs nothing.
const char* Direction(std::string_view text, Encoding encoding) {
  if (encoding == Encoding::kWindows1252) return "";  // holds no such letter
  for (size_t at = 0; at < text.size();) {
    const char32_t ch = NextCodePoint(text, at);
    switch (u_charDirection(static_cast<UChar32>(ch))) {
      case U_LEFT_TO_RIGHT:
        return "";
      case U_RIGHT_TO_LEFT:
      case U_RIGHT_TO_LEFT_ARABIC:
        return " dir=\"rtl\"";
      default:
        break;
    }
  }
  return "";
}

// U+200E, as XML writes it wherever it stands.
constexpr const char* kLeftToRightMark = "&#x200E;";

class HtmlWriter {
 public:
  HtmlWriter(const Dictionary& dictionary, std::string_view source, ExportSink& out)
      : d_(dictionary), encoding_(dictionary.db.encoding), source_(source), buffer_(out) {}
  void Flush() { buffer_.Flush(); }

  void BeginDocument() {
    Put("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\" />\n"
        "<meta name=\"generator\" content=\"lorelist-db\" />\n"
        "<title>Florilex: a classified dictionary of quotations</title>\n<style>");
    Put(kStyle);
    Put("</style>\n</head>\n<body>\n<header>\n<h1>Florilex</h1>\n"
        "<p>A classified dictionary of quotations</p>\n</header>\n"
        "<nav id=\"contents\">\n<h2>Contents</h2>\n<ol>\n<li><a "
        "href=\"#categories\">Categories</a>");
  }
  void ContentsEntry(const Dictionary::Category& c) {
    if (c.level == 0) {
      if (sub_) Put("</li>\n</ol>");
      Put(top_ ? "</li>\n<li>" : "\n<ol>\n<li>");
      top_ = true;
      sub_ = false;
    } else {
      Put(sub_ ? "</li>\n<li>" : "\n<ol>\n<li>");
      sub_ = true;
    }
    PutInline("<a href=\"#" + Anchor('c', c.code) + "\"", "</a>", Name(c));
  }
  void EndContents() {
    if (sub_) Put("</li>\n</ol>");
    if (top_) Put("</li>\n</ol>\n");
    Put("</li>\n<li><a href=\"#subject-index\">Subject index</a></li>\n"
        "<li><a href=\"#quotations\">Quotations</a></li>\n"
        "<li><a href=\"#colophon\">Colophon</a></li>\n</ol>\n</nav>\n<main>\n");
  }

  void BeginCategories() { Put("<section id=\"categories\">\n<h2>Categories</h2>\n"); }
  void CategoryHeading(const Dictionary::Category& c) {
    for (; open_ > c.level; --open_) Put("</section>\n");
    ++open_;
    const std::string h = Heading(c.level);
    Put("<section class=\"category\" id=\"" + Anchor('c', c.code) + "\">\n<" + h + Dir(Name(c)) +
        "><span class=\"code\">" + c.code + "</span>" + Escaped(Name(c)) + "</" + h + ">\n");
  }
  void SubjectEntries(const std::vector<std::string_view>& entries) {
    Put("<p class=\"subjects\"><span class=\"label\">Index entries:</span> ");
    for (size_t i = 0; i < entries.size(); ++i) {
      if (i) Put("; ");
      PutInline("<span class=\"subject\"", "</span>", entries[i]);
    }
    Put("</p>\n");
  }
  void BeginReferences() { Put("<ol class=\"references\">\n"); }
  void Reference(const QuotedReference& r) {
    Put("<li>");
    if (!r.text.empty()) {
      Put(std::string("<p class=\"ref-text\"") + Dir(r.text) + ">");
      PutText(r.text);
      Put("</p>");
    }
    Put(std::string("<blockquote><p") + Dir(r.quotation) + ">");
    PutText(r.quotation);
    Put("</p><p class=\"source\">");
    for (int k = 0; k < r.depth; ++k) {
      Put(k ? ", " : "\xE2\x80\x94 ");
      const std::string_view text = d_.db.quotations.GetItemText(r.chain[k]);
      if (*Dir(text))
        PutInline("<span", "</span>", text);
      else
        PutText(text);
    }
    Put(std::string(r.depth == 0 ? "" : " ") + "<a class=\"code\" href=\"#" + Anchor('q', r.code) +
        "\">" + r.code + "</a></p></blockquote></li>\n");
  }
  void EndReferences() { Put("</ol>\n"); }
  void EndCategories() {
    for (; open_ > 0; --open_) Put("</section>\n");
    Put("</section>\n");
  }

  void BeginSubjectIndex() {
    Put("<section id=\"subject-index\">\n<h2>Subject index</h2>\n<ul class=\"index\">\n");
  }
  void SubjectIndexEntry(std::string_view entry, const Dictionary::Category& c) {
    Put("<li>");
    PutInline("<a href=\"#" + Anchor('c', c.code) + "\"", "</a>", entry);
    Put(" ");
    PutInline("<span class=\"where\"", "</span>", Name(c));
    Put("</li>\n");
  }
  void EndSubjectIndex() { Put("</ul>\n</section>\n"); }

  void BeginQuotations() { Put("<section id=\"quotations\">\n<h2>Quotations</h2>\n"); }
  void Quotation(const QuotationEntry& q) {
    for (; open_ > q.level; --open_) Put("</section>\n");
    const std::string id = Anchor('q', q.code);
    if (q.heads) {
      ++open_;
      const std::string h = Heading(q.level);
      Put("<section class=\"node\" id=\"" + id + "\">\n<" + h + Dir(q.text) + ">" +
          Escaped(q.text) + "</" + h + ">\n");
      if (q.referenced) {
        Put("<p>");
        Cited(q.citedBy);
        Put("</p>\n");
      }
    } else {
      const char* dir = Dir(q.text);
      Put("<p class=\"quotation\" id=\"" + id + "\"" + dir + ">");
      PutText(q.text);
      if (q.referenced) {
        Put(" ");
        Cited(q.citedBy, *dir != 0);
      }
      Put("</p>\n");
    }
  }
  void EndQuotations() {
    for (; open_ > 0; --open_) Put("</section>\n");
    Put("</section>\n");
  }

  void Colophon(const Statistics& counts) {
    std::string name;
    if (!FileNameAsText(source_, encoding_, name)) {
      name.clear();
      for (char c : source_) name += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    }
    Put("</main>\n<footer id=\"colophon\">\n<h2>Colophon</h2>\n<p>Made by lorelist-db from " +
        Escaped(name) + ".</p>\n<dl class=\"counts\">\n");
    for (int row = 0; row < kStatisticsRows; ++row)
      Put(std::string("<dt>") + kStatisticsLabels[row] + "</dt><dd>" +
          std::to_string(counts.Row(row)) + "</dd>\n");
    Put("</dl>\n</footer>\n</body>\n</html>\n");
  }

 private:
  void Put(std::string_view text) { buffer_.Append(text); }
  void PutText(std::string_view text) { Html().Append(buffer_, text, encoding_); }
  std::string Escaped(std::string_view text) const { return Html()(text, encoding_); }
  const char* Dir(std::string_view text) const { return Direction(text, encoding_); }
  // A text within a line, in its element: `open` is the start tag without
  // its ">". Qt's rich text (the Print preview) lays a line out without
  // isolating its elements: a left-to-right mark after a text of right to
  // left keeps the punctuation and codes that follow it in the line's order.
  // True when it put the mark.
  bool PutInline(const std::string& open, const char* close, std::string_view text) {
    const char* dir = Dir(text);
    Put(open + dir + ">");
    PutText(text);
    Put(close);
    if (*dir) Put(kLeftToRightMark);
    return *dir != 0;
  }
  std::string_view Name(const Dictionary::Category& c) const {
    return d_.db.categories.GetItemText(c.node);
  }
  static std::string Heading(int level) { return "h" + std::to_string(std::min(3 + level, 6)); }

  // withinRightToLeft: in a paragraph of right to left, whose direction the
  // English words must not take.
  void Cited(Dictionary::Citations cited, bool withinRightToLeft = false) {
    auto [first, last] = cited;
    if (first == last) return;
    Put(withinRightToLeft ? "<span class=\"cited\" dir=\"ltr\">cited under "
                          : "<span class=\"cited\">cited under ");
    bool marked = false;
    for (const Dictionary::Citation* c = first; c != last; ++c) {
      const Dictionary::Category& category = d_.categories[c->category];
      if (c != first) Put(", ");
      marked = PutInline("<a href=\"#" + Anchor('c', category.code) + "\"", "</a>", Name(category));
    }
    // Its last punctuation stays with it, not with the paragraph around.
    if (withinRightToLeft && !marked) Put(kLeftToRightMark);
    Put("</span>");
  }

  const Dictionary& d_;
  const Encoding encoding_;
  std::string_view source_;
  OutBuffer buffer_;
  bool top_ = false, sub_ = false;  // contents lists open
  int open_ = 0;                    // sections open
};

}  // namespace

void ExportHtml(const Database& db, std::string_view source, ExportSink& out) {
  WriteDictionary<HtmlWriter>(db, source, out);
}

}  // namespace lorelist
