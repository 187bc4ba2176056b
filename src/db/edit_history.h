#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "database.h"

namespace lorelist {

// One edit as undo and redo need it: enough to take it back and make it
// again on the very same nodes.
struct EditStep {
  enum Kind {
    kInsert,
    kUpdate,
    kDelete,
    kAddReference,
    kDeleteReference,
    kAddSubject,
    kDeleteSubject,
    kMove,
    kConvert,  // every text into the encoding `line` names, back out of it
    kGroup     // the steps, made one after the other as one edit
  };
  EditStep(Kind kind, const char* name, Tree tree, HTREEITEM node)
      : kind(kind), name(name), tree(tree), node(node) {}

  Kind kind;
  const char* name;  // as the Edit menu names it
  Tree tree;
  HTREEITEM node;  // the node; for references and entries, the category
  // Insert and delete: where the node is or was. Move: where it came from.
  HTREEITEM parent = nullptr;
  int row = 0;
  // Move: where it went.
  HTREEITEM toParent = nullptr;
  int toRow = 0;
  // Update: the text the node does not hold now. Entries: the entry.
  std::string text;
  // References: the reference. Entries: index in the record, line in the
  // list. Convert: line is the encoding converted to.
  PackedText referenceText;
  HTREEITEM target = nullptr;
  int index = 0;
  int line = 0;
  // Group: its steps in the order they were made.
  std::vector<EditStep> steps;
  // Convert: every text in the other encoding, once converted, to be
  // exchanged back and forth.
  std::vector<PackedText> texts;
};

// The edits made since loading, with a position: steps before it are done
// and can be undone, steps after it were undone and can be redone.
class EditHistory {
 public:
  explicit EditHistory(Database& db) : db_(db) {}
  ~EditHistory() { Clear(); }

  // A new edit, already applied: drops the steps that could be redone.
  void Push(EditStep step);
  // The edits pushed from now on until EndGroup become one step, `name`.
  void BeginGroup(const char* name);
  bool Grouping() const { return grouping_; }
  // Makes them one step; nothing when there were none. False: none.
  bool EndGroup();
  // Takes back the steps made since BeginGroup and forgets them.
  void CancelGroup();
  bool CanUndo() const { return done_ > 0; }
  bool CanRedo() const { return done_ < steps_.size(); }
  const EditStep& NextUndo() const { return steps_[done_ - 1]; }
  const EditStep& NextRedo() const { return steps_[done_]; }
  // Undo and redo of the next step; `records`, when given, receives the
  // journal's description of each step as it is taken, before it is applied.
  void Undo(std::vector<std::string>* records = nullptr);
  void Redo(std::vector<std::string>* records = nullptr);
  size_t Done() const { return done_; }

  // The database as it is now is the one on disk.
  void MarkSaved() { saved_ = done_; }
  bool AtSaved() const { return saved_ == done_; }
  // Frees what the steps keep alive (nodes taken out of their tree).
  void Clear();

  // Applies a step forwards (forward) or backwards; returns what it touched.
  static Touched Apply(Database& db, EditStep& step, bool forward,
                       std::vector<std::string>* records = nullptr);

 private:
  void Drop(EditStep& step, bool applied);

  Database& db_;
  std::vector<EditStep> steps_;
  size_t done_ = 0;
  static constexpr size_t kNever = static_cast<size_t>(-1);
  size_t saved_ = 0;
  bool grouping_ = false;
  size_t groupStart_ = 0;
  const char* groupName_ = "";
};

}  // namespace lorelist
