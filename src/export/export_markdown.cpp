#include <algorithm>
#include <cctype>

#include "db/charset.h"
#include "dictionary.h"
#include "export.h"
#include "export_text.h"

namespace lorelist {

namespace {

// The UTF-8 form of each character, unescaped: escaping depends on where a
// character stands, which Inline below works out.
const EscapeTable& Utf8() {
  static const EscapeTable table([](char32_t ch) {
    std::string form;
    AppendUtf8(form, ch);
    return form;
  });
  return table;
}

bool IsAsciiLetterOrDigit(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// Where a text stands in the document, for what CommonMark would read into it.
enum Place : unsigned {
  kMidLine = 0,
  kBlockStart = 1,  // first on its line, or right after a list marker or "> "
  kHeadingEnd = 2,  // last on a heading line
};

// Appends a text of the file so that CommonMark shows it as it is, escaping
// only what would otherwise start markup there: emphasis, code, links,
// HTML, entities, and at the start of a block a heading, quote, list or
// rule. Spaces at its ends are dropped: a renderer drops them too, and
// inside emphasis they would undo it. Only ASCII makes markup, and UTF-8
// uses no ASCII byte within a character: the bytes of either encoding are
// looked at alike.
void Inline(std::string& out, std::string_view text, unsigned place, Encoding encoding) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  // A closing run of '#' would be taken off a heading.
  size_t closing = text.size();
  if (place & kHeadingEnd)
    while (closing > 0 && text[closing - 1] == '#') --closing;
  size_t digits = 0;
  while ((place & kBlockStart) && digits < text.size() && digits < 9 &&
         std::isdigit(static_cast<unsigned char>(text[digits])))
    ++digits;
  size_t run = 0;  // start of the bytes not yet appended
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    bool escape = false;
    switch (c) {
      case '\\':
      case '`':
      case '*':
      case '_':
      case '[':
      case ']':
        escape = true;
        break;
      case '<':  // a tag or an autolink
        escape = IsAsciiLetterOrDigit(next) || next == '/' || next == '!' || next == '?';
        break;
      case '&':  // an entity
        escape = IsAsciiLetterOrDigit(next) || next == '#';
        break;
      case '#':
        escape = (i == 0 && (place & kBlockStart)) || i >= closing;
        break;
      case '>':
      case '+':
      case '-':
      case '=':
      case '|':
        escape = i == 0 && (place & kBlockStart);
        break;
      case '.':
      case ')':  // "1." or "1)" opening a line would start a numbered list
        escape = digits > 0 && i == digits && (next == ' ' || next == '\0');
        break;
      default:
        break;
    }
    if (!escape) continue;
    Utf8().Append(out, text.substr(run, i - run), encoding);
    out += '\\';
    run = i;
  }
  Utf8().Append(out, text.substr(run), encoding);
}

// The dictionary as CommonMark that reads naturally as plain text: headings
// carry the codes, and a reference names the code of its quotation, which
// heads its line in the Quotations section. No raw HTML and no links inside
// the document, which renderers would drop or could not follow.
class MarkdownWriter {
 public:
  MarkdownWriter(const Dictionary& dictionary, std::string_view source, ExportSink& out)
      : d_(dictionary), encoding_(dictionary.db.encoding), source_(source), buffer_(out) {}
  void Flush() { buffer_.Flush(); }

  void BeginDocument() {
    Put("# Florilex\n\n*A classified dictionary of quotations*\n\n## Contents\n\n- Categories\n");
  }
  void ContentsEntry(const Dictionary::Category& c) {
    Put(std::string(2 + 2 * c.level, ' ') + "- " + c.code + " " + Inline(Name(c)) + "\n");
  }
  void EndContents() { Put("- Subject index\n- Quotations\n- Colophon\n\n"); }

  void BeginCategories() { Put("## Categories\n\n"); }
  void CategoryHeading(const Dictionary::Category& c) {
    Put(Hashes(c.level) + " " + c.code + " " + Inline(Name(c), kHeadingEnd) + "\n\n");
  }
  void SubjectEntries(const std::vector<std::string_view>& entries) {
    Put("*Index entries:* ");
    for (size_t i = 0; i < entries.size(); ++i) {
      if (i) Put("; ");
      Put(Inline(entries[i]));
    }
    Put("\n\n");
  }
  void BeginReferences() {}
  void Reference(const QuotedReference& r) {
    const std::string number = std::to_string(r.number) + ". ";
    const std::string indent(number.size(), ' ');
    const std::string text = Inline(r.text);
    Put(number + (text.empty() ? std::string("\xE2\x80\x94") : "**" + text + "**") + "\n\n" +
        indent + "> " + Inline(r.quotation, kBlockStart) + "\n" + indent + ">\n" + indent +
        "> \xE2\x80\x94 ");
    if (r.depth > 0) {
      std::string chain;
      for (int k = 0; k < r.depth; ++k) {
        if (k) chain += ", ";
        lorelist::Inline(chain, d_.db.quotations.GetItemText(r.chain[k]), kMidLine, encoding_);
      }
      if (!chain.empty()) Put("*" + chain + "* ");
    }
    Put(r.code + "\n\n");
  }
  void EndReferences() {}
  void EndCategories() {}

  void BeginSubjectIndex() { Put("## Subject index\n\n"); }
  void SubjectIndexEntry(std::string_view entry, const Dictionary::Category& c) {
    Put("- " + Inline(entry, kBlockStart) + " \xE2\x80\x94 " + c.code + " " + Inline(Name(c)) +
        "\n");
  }
  void EndSubjectIndex() { Put("\n"); }

  void BeginQuotations() { Put("## Quotations\n\n"); }
  void Quotation(const QuotationEntry& q) {
    if (q.heads) {
      Put(Hashes(q.level) + " " + std::string(q.code) + " " + Inline(q.text, kHeadingEnd) + "\n\n");
      if (q.referenced) {
        Cited(q.citedBy, true);
        Put("\n\n");
      }
    } else {
      Put("**" + std::string(q.code) + "** " + Inline(q.text));
      Cited(q.citedBy, false);
      Put("\n\n");
    }
  }
  void EndQuotations() {}

  void Colophon(const Statistics& counts) {
    std::string name;
    if (!FileNameAsText(source_, encoding_, name)) name = "the database file";
    Put("## Colophon\n\nMade by lorelist-db from " + Inline(name) + ".\n\n");
    for (int row = 0; row < kStatisticsRows; ++row)
      Put(std::string("- ") + Inline(kStatisticsLabels[row], kBlockStart) + ": " +
          std::to_string(counts.Row(row)) + "\n");
  }

 private:
  void Put(std::string_view text) { buffer_.Append(text); }
  std::string Inline(std::string_view text, unsigned place = kMidLine) const {
    std::string out;
    lorelist::Inline(out, text, place, encoding_);
    return out;
  }
  std::string_view Name(const Dictionary::Category& c) const {
    return d_.db.categories.GetItemText(c.node);
  }
  static std::string Hashes(int level) { return std::string(std::min(3 + level, 6), '#'); }

  // "— cited under Doubt (1), Heart (2)": the categories by name and code.
  void Cited(Dictionary::Citations cited, bool ownLine) {
    auto [first, last] = cited;
    if (first == last) return;
    Put(ownLine ? "*Cited under* " : " \xE2\x80\x94 *cited under* ");
    for (const Dictionary::Citation* c = first; c != last; ++c) {
      const Dictionary::Category& category = d_.categories[c->category];
      if (c != first) Put(", ");
      Put(Inline(Name(category)) + " (" + category.code + ")");
    }
  }

  const Dictionary& d_;
  const Encoding encoding_;
  std::string_view source_;
  OutBuffer buffer_;
};

}  // namespace

void ExportMarkdown(const Database& db, std::string_view source, ExportSink& out) {
  WriteDictionary<MarkdownWriter>(db, source, out);
}

}  // namespace lorelist
