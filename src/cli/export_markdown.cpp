#include <algorithm>
#include <cctype>

#include "db/charset.h"
#include "dictionary.h"
#include "export.h"
#include "export_text.h"

namespace lorelist {

namespace {

const EscapeTable& Markdown() {
  static const EscapeTable table([](char32_t ch) {
    std::string form;
    // Any ASCII punctuation may be escaped in CommonMark; escaping all of it
    // keeps every text plain: no emphasis, links, HTML, entities or blocks.
    if (ch < 0x80 && std::ispunct(static_cast<int>(ch))) form += '\\';
    AppendUtf8(form, ch);
    return form;
  });
  return table;
}

class MarkdownWriter {
 public:
  MarkdownWriter(const Dictionary& dictionary, std::string_view source, ExportSink& out)
      : d_(dictionary), source_(source), buffer_(out) {}
  void Flush() { buffer_.Flush(); }

  void BeginDocument() {
    Put("# Florilex\n\n*A classified dictionary of quotations*\n\n## Contents\n\n"
        "- [Categories](#categories)\n");
  }
  void ContentsEntry(const Dictionary::Category& c) {
    Put(std::string(2 + 2 * c.level, ' ') + "- [" + Markdown()(Name(c)) + "](#" +
        Anchor('c', c.code) + ")\n");
  }
  void EndContents() {
    Put("- [Subject index](#subject-index)\n- [Quotations](#quotations)\n- "
        "[Colophon](#colophon)\n\n");
  }

  void BeginCategories() { Put("## " + Target("categories") + "Categories\n\n"); }
  void CategoryHeading(const Dictionary::Category& c) {
    Put(Hashes(c.level) + " " + Target(Anchor('c', c.code)) + c.code + " " + Markdown()(Name(c)) +
        "\n\n");
  }
  void SubjectEntries(const std::vector<std::string>& entries) {
    Put("*Index entries:* ");
    for (size_t i = 0; i < entries.size(); ++i) {
      if (i) Put("; ");
      Put(Markdown()(entries[i]));
    }
    Put("\n\n");
  }
  void BeginReferences() {}
  void Reference(const QuotedReference& r) {
    const std::string number = std::to_string(r.number) + ". ";
    const std::string indent(number.size(), ' ');
    Put(number + (r.text.empty() ? std::string("\xE2\x80\x94") : "**" + Markdown()(r.text) + "**") +
        "\n\n" + indent + "> " + Markdown()(r.quotation) + "\n" + indent + ">\n" + indent +
        "> \xE2\x80\x94 ");
    if (r.depth > 0) {
      Put("*");
      for (int k = 0; k < r.depth; ++k) {
        if (k) Put(", ");
        PutText(d_.db.quotations.GetItemText(r.chain[k]));
      }
      Put("* ");
    }
    Put("[" + r.code + "](#" + Anchor('q', r.code) + ")\n\n");
  }
  void EndReferences() {}
  void EndCategories() {}

  void BeginSubjectIndex() { Put("## " + Target("subject-index") + "Subject index\n\n"); }
  void SubjectIndexEntry(std::string_view entry, const Dictionary::Category& c) {
    Put("- [" + Markdown()(entry) + "](#" + Anchor('c', c.code) + ") \xE2\x80\x94 " +
        Markdown()(Name(c)) + "\n");
  }
  void EndSubjectIndex() { Put("\n"); }

  void BeginQuotations() { Put("## " + Target("quotations") + "Quotations\n\n"); }
  void Quotation(const QuotationEntry& q) {
    const std::string target = Target(Anchor('q', q.code));
    if (q.heads) {
      Put(Hashes(q.level) + " " + target + Markdown()(q.text) + "\n\n");
      if (q.referenced) {
        Cited(q.citedBy);
        Put("\n\n");
      }
    } else {
      Put(target + Markdown()(q.text));
      Cited(q.citedBy);
      Put("\n\n");
    }
  }
  void EndQuotations() {}

  void Colophon(const Statistics& counts) {
    std::string name;
    if (!FileNameAsBytes(source_, name)) name = "the database file";
    Put("## " + Target("colophon") + "Colophon\n\nMade by lorelist\\-db from " + Markdown()(name) +
        "\\.\n\n");
    for (int row = 0; row < kStatisticsRows; ++row)
      Put(std::string("- ") + Markdown()(kStatisticsLabels[row]) + ": " +
          std::to_string(counts.Row(row)) + "\n");
  }

 private:
  void Put(std::string_view text) { buffer_.Append(text); }
  void PutText(std::string_view bytes) { Markdown().Append(buffer_, bytes); }
  std::string_view Name(const Dictionary::Category& c) const {
    return d_.db.categories.GetItemText(c.node);
  }
  static std::string Hashes(int level) { return std::string(std::min(3 + level, 6), '#'); }
  static std::string Target(const std::string& id) { return "<a id=\"" + id + "\"></a>"; }

  void Cited(Dictionary::Citations cited) {
    auto [first, last] = cited;
    if (first == last) return;
    Put(" \xE2\x80\x94 *cited under* ");
    for (const Dictionary::Citation* c = first; c != last; ++c) {
      const Dictionary::Category& category = d_.categories[c->category];
      if (c != first) Put(", ");
      Put("[" + Markdown()(Name(category)) + "](#" + Anchor('c', category.code) + ")");
    }
  }

  const Dictionary& d_;
  std::string_view source_;
  OutBuffer buffer_;
};

}  // namespace

void ExportMarkdown(const Database& db, std::string_view source, ExportSink& out) {
  WriteDictionary<MarkdownWriter>(db, source, out);
}

}  // namespace lorelist
