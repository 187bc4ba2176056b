#include "export.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

#include "db/charset.h"
#include "db/statistics.h"

namespace lorelist {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The character a byte shows as; control characters and the bytes the set
// leaves undefined show as the replacement character, so they cannot break a
// line or a document.
char32_t Shown(char byte) {
  const char32_t ch = Cp1252ToUnicode(static_cast<unsigned char>(byte));
  if (ch == '\t') return ' ';
  if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0)) return kReplacement;
  return ch;
}

// The document being written: a plain growable buffer handed to the sink a
// megabyte at a time; escaping writes straight into it.
class OutBuffer {
 public:
  explicit OutBuffer(ExportSink& sink) : sink_(sink) {}
  ~OutBuffer() { Flush(); }
  // Room for n more bytes; returns where they go.
  char* Reserve(size_t n) {
    if (size_ + n > capacity_) {
      if (size_ > (1 << 20)) Flush();
      if (size_ + n > capacity_) {
        capacity_ = std::max(size_ + n, capacity_ * 2 + (1 << 20));
        auto bigger = std::make_unique_for_overwrite<char[]>(capacity_);
        if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
        data_ = std::move(bigger);
      }
    }
    return data_.get() + size_;
  }
  void Commit(char* end) { size_ = static_cast<size_t>(end - data_.get()); }
  void Append(std::string_view text) {
    if (text.empty()) return;  // an empty text may have no data at all
    char* at = Reserve(text.size());
    std::memcpy(at, text.data(), text.size());
    size_ += text.size();
  }
  void Flush() {
    if (size_ == 0) return;
    sink_.Write(std::string_view(data_.get(), size_));
    size_ = 0;
  }

 private:
  ExportSink& sink_;
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// How each byte of the file is written in one format: its UTF-8 form with
// the format's escapes, looked up rather than worked out for a billion bytes.
class EscapeTable {
 public:
  template <typename Escape>
  explicit EscapeTable(Escape escape) {
    for (int b = 0; b < 256; ++b) {
      const std::string form = escape(Shown(static_cast<char>(b)));
      forms_[b].length = static_cast<uint8_t>(form.copy(forms_[b].bytes, sizeof forms_[b].bytes));
      plain_[b] = form.size() == 1 && form[0] == static_cast<char>(b);
    }
  }
  void Append(OutBuffer& out, std::string_view text) const {
    char* w = out.Reserve(text.size() * sizeof(Form::bytes));
    for (char byte : text) {
      const auto b = static_cast<unsigned char>(byte);
      if (plain_[b]) {
        *w++ = byte;
      } else {
        std::memcpy(w, forms_[b].bytes, sizeof(Form::bytes));
        w += forms_[b].length;
      }
    }
    out.Commit(w);
  }
  void Append(std::string& out, std::string_view text) const {
    for (char byte : text) {
      const Form& form = forms_[static_cast<unsigned char>(byte)];
      out.append(form.bytes, form.length);
    }
  }

 private:
  struct Form {
    uint8_t length;
    char bytes[7];
  };
  Form forms_[256];
  bool plain_[256];
};

const EscapeTable& HtmlTable() {
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

const EscapeTable& MarkdownTable() {
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

std::string Html(std::string_view bytes) {
  std::string out;
  HtmlTable().Append(out, bytes);
  return out;
}

std::string Markdown(std::string_view bytes) {
  std::string out;
  MarkdownTable().Append(out, bytes);
  return out;
}

std::string Anchor(char prefix, const std::string& code) {
  std::string id(1, prefix);
  id += '-';
  for (char c : code) id += c == '.' ? '-' : c;
  return id;
}

// What both formats need, gathered in one walk of each tree.
struct Category {
  HTREEITEM node;
  std::string code;
  int level;
};

constexpr int kMaxDepth = 32;  // deeper than any tree the file can hold

struct Citation {
  HTREEITEM target;
  uint32_t category;  // index into the categories, in pre-order
};

class Dictionary {
 public:
  explicit Dictionary(const Database& db) : db(db) {
    WalkWithCodes(db.categories, [&](HTREEITEM node, std::string_view code, int level) {
      const auto index = static_cast<uint32_t>(categories.size());
      categories.push_back({node, std::string(code), level});
      ordinal.emplace(node, index);
      if (const CategoryRecord* record = db.Record(node))
        for (HTREEITEM target : record->referenceTargets) citations.push_back({target, index});
    });
    std::sort(citations.begin(), citations.end(), [](const Citation& a, const Citation& b) {
      return a.target != b.target ? a.target < b.target : a.category < b.category;
    });
    citations.erase(std::unique(citations.begin(), citations.end(),
                                [](const Citation& a, const Citation& b) {
                                  return a.target == b.target && a.category == b.category;
                                }),
                    citations.end());
    IndexCitations();
  }

  // The quotations that category i's references need lie all over memory:
  // ask for them some categories ahead, a step further each time (the node,
  // then its text and parent, then the parent's text).
  void PrefetchAhead(size_t i) const {
    auto targets = [&](size_t k) -> const std::vector<HTREEITEM>* {
      if (k >= categories.size()) return nullptr;
      const CategoryRecord* record = db.Record(categories[k].node);
      return record ? &record->referenceTargets : nullptr;
    };
    if (auto* far = targets(i + 3))
      for (HTREEITEM t : *far) __builtin_prefetch(t);
    if (auto* near = targets(i + 2))
      for (HTREEITEM t : *near) {
        __builtin_prefetch(t->text);
        __builtin_prefetch(t->parent);
      }
    if (auto* next = targets(i + 1))
      for (HTREEITEM t : *next) __builtin_prefetch(t->parent->text);
  }

  // The categories that cite a quotation node, in pre-order, each once.
  std::pair<const Citation*, const Citation*> CitedBy(HTREEITEM node) const {
    if (slots_.empty()) return {nullptr, nullptr};
    for (size_t i = Slot(node);; i = (i + 1) & (slots_.size() - 1)) {
      const Range& range = slots_[i];
      if (range.target == node)
        return {citations.data() + range.first, citations.data() + range.last};
      if (!range.target) return {nullptr, nullptr};
    }
  }

  // A quotation node's ancestors, top level first, in `chain`; their number.
  int Derivation(HTREEITEM node, HTREEITEM (&chain)[kMaxDepth]) const {
    int n = 0;
    for (HTREEITEM p = db.quotations.GetParentItem(node); p && n < kMaxDepth;
         p = db.quotations.GetParentItem(p))
      chain[n++] = p;
    std::reverse(chain, chain + n);
    return n;
  }

  std::string_view Text(const TreeStore& tree, HTREEITEM node) const {
    return tree.GetItemText(node);
  }

  const Database& db;
  std::vector<Category> categories;
  std::unordered_map<HTREEITEM, uint32_t> ordinal;
  std::vector<Citation> citations;

 private:
  // Where each cited node's citations start and end, found by hashing.
  struct Range {
    HTREEITEM target = nullptr;
    uint32_t first = 0, last = 0;
  };
  size_t Slot(HTREEITEM node) const {
    return (reinterpret_cast<uintptr_t>(node) * 0x9E3779B97F4A7C15ULL >> 17) & (slots_.size() - 1);
  }
  void IndexCitations() {
    size_t size = 16;
    while (size < citations.size() * 2) size *= 2;
    slots_.assign(size, Range{});
    for (size_t i = 0; i < citations.size();) {
      size_t j = i;
      while (j < citations.size() && citations[j].target == citations[i].target) ++j;
      size_t slot = Slot(citations[i].target);
      while (slots_[slot].target) slot = (slot + 1) & (size - 1);
      slots_[slot] = Range{citations[i].target, static_cast<uint32_t>(i), static_cast<uint32_t>(j)};
      i = j;
    }
  }
  std::vector<Range> slots_;
};

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

// Holds a section written on another thread until its turn comes.
class ChunkSink : public ExportSink {
 public:
  void Write(std::string_view text) override { chunks_.emplace_back(text); }
  void WriteTo(ExportSink& out) const {
    for (const std::string& chunk : chunks_) out.Write(chunk);
  }

 private:
  std::vector<std::string> chunks_;
};

// The quotations section is written on a second thread while the rest is;
// on two cores that nearly halves the time of a large export.
template <typename Writer>
void RunInTwo(const Dictionary& dictionary, std::string_view source, ExportSink& out) {
  ChunkSink quotations;
  std::thread helper([&] {
    Writer writer(dictionary, source, quotations);
    writer.Quotations();
    writer.Flush();
  });
  Writer writer(dictionary, source, out);
  writer.Start();
  writer.Flush();
  helper.join();
  quotations.WriteTo(out);
  writer.Finish();
  writer.Flush();
}

class HtmlWriter {
 public:
  HtmlWriter(const Dictionary& dictionary, std::string_view source, ExportSink& out)
      : d_(dictionary), source_(source), buffer_(out) {}

  // Everything before the quotations, then everything after.
  void Start() {
    Put("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\" />\n"
        "<meta name=\"generator\" content=\"lorelist-db\" />\n"
        "<title>Florilex: a classified dictionary of quotations</title>\n<style>");
    Put(kStyle);
    Put("</style>\n</head>\n<body>\n<header>\n<h1>Florilex</h1>\n"
        "<p>A classified dictionary of quotations</p>\n</header>\n");
    Contents();
    Put("<main>\n");
    Categories();
    SubjectIndex();
  }
  void Finish() {
    Put("</main>\n");
    Colophon();
    Put("</body>\n</html>\n");
  }
  void Quotations();
  void Flush() { buffer_.Flush(); }

 private:
  void Put(std::string_view text) { buffer_.Append(text); }
  void PutText(std::string_view bytes) { HtmlTable().Append(buffer_, bytes); }
  const TreeStore& Q() const { return d_.db.quotations; }
  const TreeStore& C() const { return d_.db.categories; }
  static std::string Heading(int level) { return "h" + std::to_string(std::min(3 + level, 6)); }

  void Contents() {
    Put("<nav id=\"contents\">\n<h2>Contents</h2>\n<ol>\n<li><a "
        "href=\"#categories\">Categories</a>");
    // The first two levels of categories; the rest are found under them.
    bool top = false, sub = false;
    for (const Category& c : d_.categories) {
      if (c.level > 1) continue;
      if (c.level == 0) {
        if (sub) Put("</li>\n</ol>");
        Put(top ? "</li>\n<li>" : "\n<ol>\n<li>");
        top = true;
        sub = false;
      } else {
        Put(sub ? "</li>\n<li>" : "\n<ol>\n<li>");
        sub = true;
      }
      Put("<a href=\"#" + Anchor('c', c.code) + "\">" + Html(C().GetItemText(c.node)) + "</a>");
    }
    if (sub) Put("</li>\n</ol>");
    if (top) Put("</li>\n</ol>\n");
    Put("</li>\n<li><a href=\"#subject-index\">Subject index</a></li>\n"
        "<li><a href=\"#quotations\">Quotations</a></li>\n"
        "<li><a href=\"#colophon\">Colophon</a></li>\n</ol>\n</nav>\n");
  }

  void Categories() {
    Put("<section id=\"categories\">\n<h2>Categories</h2>\n");
    int open = 0;  // category sections open
    for (size_t index = 0; index < d_.categories.size(); ++index) {
      const Category& c = d_.categories[index];
      d_.PrefetchAhead(index);
      for (; open > c.level; --open) Put("</section>\n");
      ++open;
      const std::string h = Heading(c.level);
      Put("<section class=\"category\" id=\"" + Anchor('c', c.code) + "\">\n<" + h +
          "><span class=\"code\">" + c.code + "</span>" + Html(C().GetItemText(c.node)) + "</" + h +
          ">\n");
      const CategoryRecord* record = d_.db.Record(c.node);
      if (!record) continue;
      if (!record->subjectEntries.empty()) {
        Put("<p class=\"subjects\"><span class=\"label\">Index entries:</span> ");
        for (size_t i = 0; i < record->subjectEntries.size(); ++i) {
          if (i) Put("; ");
          Put("<span class=\"subject\">" + Html(record->subjectEntries[i]) + "</span>");
        }
        Put("</p>\n");
      }
      if (record->referenceTargets.empty()) continue;
      Put("<ol class=\"references\">\n");
      for (size_t i = 0; i < record->referenceTargets.size(); ++i) Reference(*record, i);
      Put("</ol>\n");
    }
    for (; open > 0; --open) Put("</section>\n");
    Put("</section>\n");
  }

  void Reference(const CategoryRecord& record, size_t i) {
    HTREEITEM target = record.referenceTargets[i];
    Put("<li>");
    if (!record.referenceTexts[i].empty()) {
      Put("<p class=\"ref-text\">");
      PutText(record.referenceTexts[i]);
      Put("</p>");
    }
    Put("<blockquote><p>");
    PutText(Q().GetItemText(target));
    Put("</p><p class=\"source\">");
    HTREEITEM chain[kMaxDepth];
    const int depth = d_.Derivation(target, chain);
    for (int k = 0; k < depth; ++k) {
      Put(k ? ", " : "\xE2\x80\x94 ");
      PutText(Q().GetItemText(chain[k]));
    }
    const std::string code = NodeCode(target);
    Put(std::string(depth == 0 ? "" : " ") + "<a class=\"code\" href=\"#" + Anchor('q', code) +
        "\">" + code + "</a></p></blockquote></li>\n");
  }

  void SubjectIndex() {
    Put("<section id=\"subject-index\">\n<h2>Subject index</h2>\n<ul class=\"index\">\n");
    const SubjectIndexList& list = d_.db.subjects;
    for (int i = 0; i < list.GetCount(); ++i) {
      HTREEITEM category = list.GetItemData(i);
      auto found = d_.ordinal.find(category);
      if (found == d_.ordinal.end()) continue;
      const Category& c = d_.categories[found->second];
      Put("<li><a href=\"#" + Anchor('c', c.code) + "\">" + Html(list.GetLBText(i)) +
          "</a> <span class=\"where\">" + Html(C().GetItemText(c.node)) + "</span></li>\n");
    }
    Put("</ul>\n</section>\n");
  }

  void Cited(HTREEITEM node) {
    auto [first, last] = d_.CitedBy(node);
    if (first == last) return;
    Put("<span class=\"cited\">cited under ");
    for (const Citation* c = first; c != last; ++c) {
      const Category& category = d_.categories[c->category];
      if (c != first) Put(", ");
      Put("<a href=\"#" + Anchor('c', category.code) + "\">" +
          Html(C().GetItemText(category.node)) + "</a>");
    }
    Put("</span>");
  }

  void QuotationsSection() {
    Put("<section id=\"quotations\">\n<h2>Quotations</h2>\n");
    int open = 0;  // node sections open
    WalkWithCodes(Q(), [&](HTREEITEM node, std::string_view view, int level) {
      const std::string code(view);
      for (; open > level; --open) Put("</section>\n");
      if (Q().ItemHasChildren(node)) {
        // A node with nodes below it (an author, a work) heads a section.
        ++open;
        const std::string h = Heading(level);
        Put("<section class=\"node\" id=\"" + Anchor('q', code) + "\">\n<" + h + ">" +
            Html(Q().GetItemText(node)) + "</" + h + ">\n");
        if (Q().GetItemData(node)) {
          Put("<p>");
          Cited(node);
          Put("</p>\n");
        }
      } else {
        Put("<p class=\"quotation\" id=\"" + Anchor('q', code) + "\">");
        PutText(Q().GetItemText(node));
        if (Q().GetItemData(node)) {
          Put(" ");
          Cited(node);
        }
        Put("</p>\n");
      }
    });
    for (; open > 0; --open) Put("</section>\n");
    Put("</section>\n");
  }

  void Colophon() {
    const Statistics counts = CountStatistics(d_.db);
    Put("<footer id=\"colophon\">\n<h2>Colophon</h2>\n<p>Made by lorelist-db from " +
        Html(Cp1252Safe(source_)) + ".</p>\n<dl class=\"counts\">\n");
    for (int row = 0; row < kStatisticsRows; ++row)
      Put(std::string("<dt>") + kStatisticsLabels[row] + "</dt><dd>" +
          std::to_string(counts.Row(row)) + "</dd>\n");
    Put("</dl>\n</footer>\n");
  }

  // A file name is UTF-8 already: as bytes of the set, where it can be.
  static std::string Cp1252Safe(std::string_view name) {
    std::string bytes;
    if (Utf8ToCp1252(name, bytes) != Utf8Conversion::kDone) {
      bytes.clear();
      for (char c : name) bytes += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    }
    return bytes;
  }

  const Dictionary& d_;
  std::string_view source_;
  OutBuffer buffer_;
};

void HtmlWriter::Quotations() {
  QuotationsSection();
}

class MarkdownWriter {
 public:
  MarkdownWriter(const Dictionary& dictionary, std::string_view source, ExportSink& out)
      : d_(dictionary), source_(source), buffer_(out) {}

  void Start() {
    Put("# Florilex\n\n*A classified dictionary of quotations*\n\n## Contents\n\n"
        "- [Categories](#categories)\n");
    for (const Category& c : d_.categories)
      if (c.level <= 1)
        Put(std::string(2 + 2 * c.level, ' ') + "- [" + Markdown(C().GetItemText(c.node)) + "](#" +
            Anchor('c', c.code) + ")\n");
    Put("- [Subject index](#subject-index)\n- [Quotations](#quotations)\n- "
        "[Colophon](#colophon)\n\n");
    Categories();
    SubjectIndex();
  }
  void Finish() { Colophon(); }
  void Quotations() { QuotationsSection(); }
  void Flush() { buffer_.Flush(); }

 private:
  void Put(std::string_view text) { buffer_.Append(text); }
  void PutText(std::string_view bytes) { MarkdownTable().Append(buffer_, bytes); }
  const TreeStore& Q() const { return d_.db.quotations; }
  const TreeStore& C() const { return d_.db.categories; }
  static std::string Hashes(int level) { return std::string(std::min(3 + level, 6), '#'); }
  static std::string Target(const std::string& id) { return "<a id=\"" + id + "\"></a>"; }

  void Categories() {
    Put("## " + Target("categories") + "Categories\n\n");
    for (size_t index = 0; index < d_.categories.size(); ++index) {
      const Category& c = d_.categories[index];
      d_.PrefetchAhead(index);
      Put(Hashes(c.level) + " " + Target(Anchor('c', c.code)) + c.code + " " +
          Markdown(C().GetItemText(c.node)) + "\n\n");
      const CategoryRecord* record = d_.db.Record(c.node);
      if (!record) continue;
      if (!record->subjectEntries.empty()) {
        Put("*Index entries:* ");
        for (size_t i = 0; i < record->subjectEntries.size(); ++i) {
          if (i) Put("; ");
          Put(Markdown(record->subjectEntries[i]));
        }
        Put("\n\n");
      }
      for (size_t i = 0; i < record->referenceTargets.size(); ++i) {
        HTREEITEM target = record->referenceTargets[i];
        const std::string number = std::to_string(i + 1) + ". ";
        const std::string indent(number.size(), ' ');
        Put(number +
            (record->referenceTexts[i].empty()
                 ? std::string("\xE2\x80\x94")
                 : "**" + Markdown(record->referenceTexts[i]) + "**") +
            "\n\n" + indent + "> " + Markdown(Q().GetItemText(target)) + "\n" + indent + ">\n" +
            indent + "> \xE2\x80\x94 ");
        HTREEITEM chain[kMaxDepth];
        const int depth = d_.Derivation(target, chain);
        if (depth > 0) {
          Put("*");
          for (int k = 0; k < depth; ++k) {
            if (k) Put(", ");
            PutText(Q().GetItemText(chain[k]));
          }
          Put("* ");
        }
        const std::string code = NodeCode(target);
        Put("[" + code + "](#" + Anchor('q', code) + ")\n\n");
      }
    }
  }

  void SubjectIndex() {
    Put("## " + Target("subject-index") + "Subject index\n\n");
    const SubjectIndexList& list = d_.db.subjects;
    for (int i = 0; i < list.GetCount(); ++i) {
      auto found = d_.ordinal.find(list.GetItemData(i));
      if (found == d_.ordinal.end()) continue;
      const Category& c = d_.categories[found->second];
      Put("- [" + Markdown(list.GetLBText(i)) + "](#" + Anchor('c', c.code) + ") \xE2\x80\x94 " +
          Markdown(C().GetItemText(c.node)) + "\n");
    }
    Put("\n");
  }

  void Cited(HTREEITEM node) {
    auto [first, last] = d_.CitedBy(node);
    if (first == last) return;
    Put(" \xE2\x80\x94 *cited under* ");
    for (const Citation* c = first; c != last; ++c) {
      const Category& category = d_.categories[c->category];
      if (c != first) Put(", ");
      Put("[" + Markdown(C().GetItemText(category.node)) + "](#" + Anchor('c', category.code) +
          ")");
    }
  }

  void QuotationsSection() {
    Put("## " + Target("quotations") + "Quotations\n\n");
    WalkWithCodes(Q(), [&](HTREEITEM node, std::string_view view, int level) {
      const std::string code(view);
      if (Q().ItemHasChildren(node)) {
        Put(Hashes(level) + " " + Target(Anchor('q', code)) + Markdown(Q().GetItemText(node)) +
            "\n\n");
        if (Q().GetItemData(node)) {
          Cited(node);
          Put("\n\n");
        }
      } else {
        Put(Target(Anchor('q', code)) + Markdown(Q().GetItemText(node)));
        Cited(node);
        Put("\n\n");
      }
    });
  }

  void Colophon() {
    const Statistics counts = CountStatistics(d_.db);
    std::string name;
    if (Utf8ToCp1252(source_, name) != Utf8Conversion::kDone) name = "the database file";
    Put("## " + Target("colophon") + "Colophon\n\nMade by lorelist\\-db from " + Markdown(name) +
        "\\.\n\n");
    for (int row = 0; row < kStatisticsRows; ++row)
      Put(std::string("- ") + Markdown(kStatisticsLabels[row]) + ": " +
          std::to_string(counts.Row(row)) + "\n");
  }

  const Dictionary& d_;
  std::string_view source_;
  OutBuffer buffer_;
};

}  // namespace

void ExportHtml(const Database& db, std::string_view source, ExportSink& out) {
  const Dictionary dictionary(db);
  RunInTwo<HtmlWriter>(dictionary, source, out);
}

void ExportMarkdown(const Database& db, std::string_view source, ExportSink& out) {
  const Dictionary dictionary(db);
  RunInTwo<MarkdownWriter>(dictionary, source, out);
}

}  // namespace lorelist
