#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/database.h"
#include "db/statistics.h"
#include "export.h"

namespace lorelist {

// What every export format needs, gathered in one walk of each tree: the
// categories in pre-order with their codes, and for each quotation node the
// categories that cite it.
class Dictionary {
 public:
  struct Category {
    HTREEITEM node;
    std::string code;
    int level;
  };
  struct Citation {
    HTREEITEM target;
    uint32_t category;  // index into the categories, in pre-order
  };
  using Citations = std::pair<const Citation*, const Citation*>;
  static constexpr int kMaxDepth = 32;  // deeper than any tree the file can hold

  explicit Dictionary(const Database& db);

  // The quotations that category i's references need lie all over memory:
  // asks for them some categories ahead.
  void PrefetchAhead(size_t i) const;
  // The categories that cite a quotation node, in pre-order, each once.
  Citations CitedBy(HTREEITEM node) const;
  // A quotation node's ancestors, top level first, in `chain`; their number.
  int Derivation(HTREEITEM node, HTREEITEM (&chain)[kMaxDepth]) const;
  // The category a subject entry belongs to, or null.
  const Category* Owner(HTREEITEM category) const;

  const Database& db;
  std::vector<Category> categories;

 private:
  // Where each cited node's citations start and end, found by hashing.
  struct Range {
    HTREEITEM target = nullptr;
    uint32_t first = 0, last = 0;
  };
  size_t Slot(HTREEITEM node) const;
  void IndexCitations();

  std::unordered_map<HTREEITEM, uint32_t> ordinal_;
  std::vector<Citation> citations_;
  std::vector<Range> slots_;
};

// One reference as a format writes it.
struct QuotedReference {
  size_t number;          // from 1 within its category
  std::string_view text;  // the reference's own text, maybe empty
  HTREEITEM target;
  std::string_view quotation;
  HTREEITEM chain[Dictionary::kMaxDepth];  // where the quotation comes from
  int depth;
  std::string code;
};

// One node of the quotations tree as a format writes it.
struct QuotationEntry {
  HTREEITEM node;
  std::string_view code;
  std::string_view text;
  int level;
  bool heads;       // has nodes below it: an author or a work
  bool referenced;  // some reference points at it
  Dictionary::Citations citedBy;
};

// The order of the document, the same in every format; a writer says only
// how each part looks. The front is everything before the quotations.
template <typename Writer>
void WriteFront(const Dictionary& d, Writer& w) {
  const TreeStore& quotations = d.db.quotations;
  w.BeginDocument();
  for (const Dictionary::Category& c : d.categories)
    if (c.level <= 1) w.ContentsEntry(c);  // the rest are found under these
  w.EndContents();
  w.BeginCategories();
  for (size_t index = 0; index < d.categories.size(); ++index) {
    const Dictionary::Category& c = d.categories[index];
    d.PrefetchAhead(index);
    w.CategoryHeading(c);
    const CategoryRecord* record = d.db.Record(c.node);
    if (!record) continue;
    if (!record->subjectEntries.empty()) w.SubjectEntries(record->subjectEntries);
    if (record->referenceTargets.empty()) continue;
    w.BeginReferences();
    for (size_t i = 0; i < record->referenceTargets.size(); ++i) {
      QuotedReference r;
      r.number = i + 1;
      r.text = record->referenceTexts[i];
      r.target = record->referenceTargets[i];
      r.quotation = quotations.GetItemText(r.target);
      r.depth = d.Derivation(r.target, r.chain);
      r.code = NodeCode(r.target);
      w.Reference(r);
    }
    w.EndReferences();
  }
  w.EndCategories();
  w.BeginSubjectIndex();
  const SubjectIndexList& list = d.db.subjects;
  for (int i = 0; i < list.GetCount(); ++i)
    if (const Dictionary::Category* c = d.Owner(list.GetItemData(i)))
      w.SubjectIndexEntry(list.GetLBText(i), *c);
  w.EndSubjectIndex();
}

template <typename Writer>
void WriteQuotations(const Dictionary& d, Writer& w) {
  const TreeStore& tree = d.db.quotations;
  w.BeginQuotations();
  WalkWithCodes(tree, [&](HTREEITEM node, std::string_view code, int level) {
    w.Quotation(QuotationEntry{node, code, tree.GetItemText(node), level,
                               tree.ItemHasChildren(node), tree.GetItemData(node) != 0,
                               d.CitedBy(node)});
  });
  w.EndQuotations();
}

template <typename Writer>
void WriteBack(const Dictionary& d, Writer& w) {
  w.Colophon(CountStatistics(d.db));
}

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

// The whole document. The quotations section is written on a second thread
// while the rest is; on two cores that nearly halves a large export.
template <typename Writer>
void WriteDictionary(const Database& db, std::string_view source, ExportSink& out) {
  const Dictionary d(db);
  ChunkSink quotations;
  std::thread helper([&] {
    Writer writer(d, source, quotations);
    WriteQuotations(d, writer);
    writer.Flush();
  });
  // Should the sink give up (a cancelled export), the helper still ends first.
  struct Joined {
    std::thread& thread;
    ~Joined() {
      if (thread.joinable()) thread.join();
    }
  } joined{helper};
  Writer writer(d, source, out);
  WriteFront(d, writer);
  writer.Flush();
  helper.join();
  quotations.WriteTo(out);
  WriteBack(d, writer);
  writer.Flush();
}

}  // namespace lorelist
