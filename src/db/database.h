#pragma once

#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "category_record.h"
#include "charset.h"
#include "file_stamp.h"
#include "subject_index.h"
#include "tree_store.h"

namespace lorelist {

enum class Tree { kQuotations, kCategories };
// Where a new node goes, from the selected node.
enum class Placement { kAfter, kBefore, kBelow };
enum class Direction { kUp, kDown, kOut, kIn };

// A text as the user typed it, for the database: its bytes, with '?' for
// each character the set cannot hold, and the first such character.
struct EditText {
  std::string bytes;
  std::string unstorable;  // UTF-8; empty when the set holds every character
  // A text the database held before (put back by undo, or by replaying an
  // undo from the recovery journal): it may be empty or hold a lone CR, as
  // texts read from the file may, but never what the file cannot hold.
  bool restored = false;
  EditText() = default;
  // Bytes are a text with nothing the set lacks.
  EditText(std::string b) : bytes(std::move(b)) {}  // NOLINT
  EditText(std::string_view b) : bytes(b) {}        // NOLINT
  EditText(const char* b) : bytes(b) {}             // NOLINT
};

// What an edit, its undo or its redo last touched, for the window to show:
// a node of one tree (or none) and, for references and subject entries, the
// category whose record changed.
struct Touched {
  Tree tree = Tree::kQuotations;
  HTREEITEM node = nullptr;
  HTREEITEM category = nullptr;
};

class EditHistory;
class Journal;
struct EditStep;

// The whole database: both trees, the subject index list, the changed flag
// with the title that tells it, and the two running totals.
//
// Item data: a quotation node holds its reference count; a category node
// holds the number of the CategoryRecord it owns, counted from 1 (0: none).
class Database {
 public:
  Database();
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  TreeStore quotations;
  TreeStore categories;
  SubjectIndexList subjects;

  int referenceTotal = 0;
  int subjectTotal = 0;
  // How its texts are encoded, from the file's start; a new dictionary is UTF-8.
  Encoding encoding = Encoding::kWindows1252;
  // Loading stopped at an error: saving would replace the file with less.
  bool partlyLoaded = false;
  // The database file as last loaded or saved: Save tells from it whether
  // someone else changed the file since.
  FileStamp disk;

  static constexpr const char* kBaseCaption = "Lorelist Version 1.1";

  bool IsChanged() const { return changed_; }
  // Sets the changed flag (the edits below set it themselves).
  void MarkChanged();
  // Clears the flag after a complete save: the state to which undo can
  // come back unchanged.
  void ClearChanged();
  // The window title: the base caption, followed by " - Unchanged" exactly
  // while the flag is clear.
  std::string Title() const;
  // Called with the new title whenever the flag is set or cleared.
  void SetTitleHook(std::function<void(const std::string&)> hook) { titleHook_ = std::move(hook); }
  // Called after every edit, undo, redo and clearing: what can be undone changed.
  void SetHistoryHook(std::function<void()> hook) { historyHook_ = std::move(hook); }

  CategoryRecord* Record(HTREEITEM category) const {
    const uint32_t number = categories.GetItemData(category);
    return number ? &records_[number - 1] : nullptr;
  }
  TreeStore& Of(Tree tree) { return tree == Tree::kQuotations ? quotations : categories; }
  const TreeStore& Of(Tree tree) const {
    return tree == Tree::kQuotations ? quotations : categories;
  }

  // --- Edits. Each checks its refusals in order and returns the first
  // (a message, empty when the edit was made); a refused edit changes
  // nothing. A made edit changes trees, records, counts, totals and the
  // subject index together, marks the database changed and can be undone.

  // Why a text cannot be stored in a node, a reference or an entry of a
  // dictionary in that encoding, or "".
  static std::string TextRefusal(const EditText& text, Encoding encoding);
  // The same for a node's text or a category's title, which must not be empty.
  static std::string NodeTextRefusal(Tree tree, const EditText& text, Encoding encoding);
  // Why a new node cannot go next to `selected`: nothing is selected in a
  // tree that has nodes. An empty tree needs no selection.
  std::string SelectionRefusal(Tree tree, HTREEITEM selected) const;
  // The refusals of a new node next to `selected`, without making it.
  std::string CheckInsert(Tree tree, HTREEITEM selected, Placement place,
                          const EditText& text) const;
  // Inserts a node; `made` receives it. In an empty tree, with nothing
  // selected, it becomes the first top-level node wherever it was placed.
  std::string InsertNode(Tree tree, HTREEITEM selected, Placement place, const EditText& text,
                         HTREEITEM* made = nullptr);
  // Inserts a node as child `row` of parent (nullptr: top level).
  std::string InsertNodeAt(Tree tree, HTREEITEM parent, int row, const EditText& text,
                           HTREEITEM* made = nullptr);
  std::string UpdateText(Tree tree, HTREEITEM node, const EditText& text);
  std::string DeleteNode(Tree tree, HTREEITEM node);
  // Adds a reference to `quotation` as reference `at` of the category (at
  // the end when `at` is negative). fromQuotation: the text was taken from a
  // quotation node, as a reference's must be.
  std::string CheckAddReference(HTREEITEM category, HTREEITEM quotation, const EditText& text,
                                bool fromQuotation = true) const;
  std::string AddReference(HTREEITEM category, HTREEITEM quotation, const EditText& text, int at,
                           bool fromQuotation = true);
  std::string DeleteReference(HTREEITEM category, int index);
  // Adds an entry as entry `index` of the category's record (at the end
  // when negative) and at `line` of the subject index list, where that line
  // keeps the list in order (after the equal entries otherwise).
  std::string AddSubject(HTREEITEM category, const EditText& entry, int index = -1,
                         int line = kAfterEqualEntries);
  // Deletes an entry of the category: the first that equals `entry`, or the
  // one at `index`, which must equal it; `line` names its line in the list
  // when it holds that entry.
  std::string DeleteSubject(HTREEITEM category, std::string_view entry, int index = -1,
                            int line = -1);
  static constexpr int kAfterEqualEntries = std::numeric_limits<int>::max();
  // Moves a node with its subtree to be child `row` of parent (nullptr: top
  // level), row counted as if the node had already left its place.
  std::string MoveNode(Tree tree, HTREEITEM node, HTREEITEM parent, int row);
  // The four moves of the keys; a move with nowhere to go does nothing and
  // returns "" with *moved false.
  std::string MoveNode(Tree tree, HTREEITEM node, Direction direction, bool* moved = nullptr);
  // Converts every text of the dictionary into the encoding, the file taking
  // it at the next save: "Convert to Unicode". Refused when the dictionary
  // has that encoding, or holds a character Windows-1252 lacks. What the
  // history keeps stays in the encoding of its time: the later edits are
  // undone before the conversion is.
  std::string ConvertEncoding(Encoding to);
  // True when every text of the dictionary can be given in Windows-1252.
  bool FitsWindows1252() const;

  // --- Groups: the edits made between BeginGroup and EndGroup are one edit
  // named `name`, one of kGroupEdits: one Undo takes them all back, one Redo
  // makes them again, and the journal keeps them whole or not at all. Undo
  // and redo wait until the group ends.
  static constexpr const char* kGroupEdits[] = {"Merge", "Take Back Differences"};
  void BeginGroup(const char* name);
  void EndGroup();
  // Takes back the edits made since BeginGroup: nothing is left of them.
  void CancelGroup();

  // --- Undo and redo, unlimited within a run.
  bool CanUndo() const;
  bool CanRedo() const;
  // The edit undo or redo would take back or make again ("Delete Node").
  std::string UndoName() const;
  std::string RedoName() const;
  bool Undo();
  bool Redo();
  // What the last edit, undo or redo touched.
  const Touched& LastTouched() const { return touched_; }
  // Number of edits that can be undone.
  size_t UndoCount() const;

  // --- Bookkeeping for building a database in bulk (loading, generating):
  // no refusals, no undo.
  // Creates the record a new category node owns.
  CategoryRecord* AttachRecord(HTREEITEM category);
  void AppendSubjectUnsorted(HTREEITEM category, std::string_view entry);
  // After the last AppendSubjectUnsorted.
  void SortSubjects() { subjects.SortAppended(); }
  // Appends a reference; counted: the target's count goes up too.
  void AppendReference(CategoryRecord& record, HTREEITEM target, std::string_view text,
                       bool counted = true);
  // Keeps a copy of a text for as long as the database lives: where the
  // reference texts of the records are kept.
  PackedText StoreText(std::string_view text) { return texts_.Store(text); }

  // Frees every record and empties both trees, the list, the totals and
  // the history.
  void Clear();

  // The recovery journal each edit, undo and redo is written to before it
  // returns; nullptr: none.
  void SetJournal(Journal* journal) { journal_ = journal; }
  Journal* GetJournal() const { return journal_; }

 private:
  friend class EditHistory;
  friend class Journal;
  // Frees a category node's record before the node goes.
  void ReleaseRecord(HTREEITEM category);
  // Applies a step forwards and keeps it.
  void Perform(EditStep step);
  // Undo (backward) or redo (forward) of the next step.
  bool TakeStep(bool forward);
  // Keeps a made edit for undo, journals it and tells the change.
  void KeepStep(EditStep step, const Touched& touched, const std::string& record);
  std::string MoveNode(Tree tree, HTREEITEM node, HTREEITEM parent, int row, const char* name);
  void SetChanged(bool changed);
  // Gives every text of the trees, the records and the subject index list
  // in the encoding (a character that encoding lacks becomes '?'), keeping
  // each text before in `texts`; or, with texts kept so before, exchanges
  // them back: undone and made again, a conversion converts nothing.
  void Recode(Encoding to, std::vector<PackedText>& texts);
  void HistoryChanged() {
    if (historyHook_) historyHook_();
  }

  TextArena texts_;
  // Records stay where they are made: others hold their addresses. Released
  // ones are made again from freeRecords_.
  mutable std::deque<CategoryRecord> records_;
  std::vector<uint32_t> freeRecords_;
  bool changed_ = false;
  std::function<void(const std::string&)> titleHook_;
  std::function<void()> historyHook_;
  std::unique_ptr<EditHistory> history_;
  Touched touched_;
  Journal* journal_ = nullptr;
};

}  // namespace lorelist
