// The edits of the database, their refusals and their undo.

#include <algorithm>
#include <limits>

#include "code_check.h"
#include "edit_history.h"
#include "journal.h"

namespace lorelist {

namespace {

constexpr int kDeepestLevel = kMaxLevels - 1;
const char* const kTooDeep =
    "No node can be placed below this one: a tree holds at most 25 levels.";

// Only journals replayed from disk name places that are not there.
const char* const kNoSuchPlace = "There is no such place in the database.";

Encoding OtherEncoding(Encoding encoding) {
  return encoding == Encoding::kUtf8 ? Encoding::kWindows1252 : Encoding::kUtf8;
}

// A text in the other encoding, into out; false when it is the same (ASCII).
bool Recoded(std::string_view text, Encoding to, std::string& out) {
  if (IsAscii(text)) return false;
  out.clear();
  if (to == Encoding::kUtf8) {
    AppendCp1252AsUtf8(out, text);
    return true;
  }
  for (size_t at = 0; at < text.size();) {
    const int byte = UnicodeToCp1252(NextCodePoint(text, at));
    out += byte < 0 ? '?' : static_cast<char>(byte);
  }
  return true;
}

bool FitsWindows1252(std::string_view text) {
  std::string scratch;
  return IsAscii(text) || Utf8ToCp1252(text, scratch) == Utf8Conversion::kDone;
}

const char* SelectRefusal(Tree tree) {
  return tree == Tree::kQuotations ? "First select a quotation node" : "First select a category";
}

// Where the tree's current node goes when this node leaves.
HTREEITEM Neighbour(const TreeStore& tree, HTREEITEM node) {
  if (HTREEITEM previous = tree.GetPrevSiblingItem(node)) return previous;
  if (HTREEITEM next = tree.GetNextSiblingItem(node)) return next;
  return tree.GetParentItem(node);
}

void InsertReference(Database& db, EditStep& step) {
  CategoryRecord& record = *db.Record(step.node);
  const auto at = static_cast<ptrdiff_t>(step.index);
  record.referenceTexts.insert(record.referenceTexts.begin() + at, step.referenceText);
  record.referenceTargets.insert(record.referenceTargets.begin() + at, step.target);
  db.quotations.SetItemData(step.target, db.quotations.GetItemData(step.target) + 1);
  ++db.referenceTotal;
}

void EraseReference(Database& db, EditStep& step) {
  CategoryRecord& record = *db.Record(step.node);
  const auto at = static_cast<ptrdiff_t>(step.index);
  record.referenceTexts.erase(record.referenceTexts.begin() + at);
  record.referenceTargets.erase(record.referenceTargets.begin() + at);
  db.quotations.SetItemData(step.target, db.quotations.GetItemData(step.target) - 1);
  --db.referenceTotal;
}

void InsertEntry(Database& db, EditStep& step) {
  auto& entries = db.Record(step.node)->subjectEntries;
  step.line = db.subjects.InsertAt(step.line, step.text, step.node);
  entries.insert(entries.begin() + step.index, db.subjects.GetLBText(step.line));
  ++db.subjectTotal;
}

void EraseEntry(Database& db, EditStep& step) {
  auto& entries = db.Record(step.node)->subjectEntries;
  entries.erase(entries.begin() + step.index);
  db.subjects.DeleteString(step.line);
  --db.subjectTotal;
}

}  // namespace

// --- The history -------------------------------------------------------------

Touched EditHistory::Apply(Database& db, EditStep& step, bool forward,
                           std::vector<std::string>* records) {
  if (step.kind == EditStep::kGroup) {
    Touched touched;
    const size_t count = step.steps.size();
    for (size_t i = 0; i < count; ++i)
      touched = Apply(db, step.steps[forward ? i : count - 1 - i], forward, records);
    return touched;
  }
  // Described before it is applied: the codes it names are those of now.
  if (records) records->push_back(Journal::Describe(db, step, forward));
  TreeStore& tree = db.Of(step.tree);
  Touched touched{step.tree, step.node, nullptr};
  auto detach = [&] {
    touched.node = Neighbour(tree, step.node);
    tree.Detach(step.node);
  };
  switch (step.kind) {
    case EditStep::kInsert:
      if (forward)
        tree.Attach(step.node, step.parent, step.row);
      else
        detach();
      break;
    case EditStep::kDelete:
      if (forward)
        detach();
      else
        tree.Attach(step.node, step.parent, step.row);
      break;
    case EditStep::kUpdate: {
      std::string now(tree.GetItemText(step.node));
      tree.SetItemText(step.node, step.text);
      step.text = std::move(now);
      break;
    }
    case EditStep::kAddReference:
    case EditStep::kDeleteReference:
      if (forward == (step.kind == EditStep::kAddReference))
        InsertReference(db, step);
      else
        EraseReference(db, step);
      touched = {Tree::kQuotations, step.target, step.node};
      break;
    case EditStep::kAddSubject:
    case EditStep::kDeleteSubject:
      if (forward == (step.kind == EditStep::kAddSubject))
        InsertEntry(db, step);
      else
        EraseEntry(db, step);
      touched.category = step.node;
      break;
    case EditStep::kMove:
      if (forward)
        tree.Move(step.node, step.toParent, step.toRow);
      else
        tree.Move(step.node, step.parent, step.row);
      break;
    case EditStep::kConvert: {
      const auto to = static_cast<Encoding>(step.line);
      db.Recode(forward ? to : OtherEncoding(to), step.texts);
      touched.node = nullptr;
      break;
    }
    case EditStep::kGroup:
      break;  // taken above
  }
  return touched;
}

void EditHistory::BeginGroup(const char* name) {
  grouping_ = true;
  groupStart_ = done_;
  groupName_ = name;
}

bool EditHistory::EndGroup() {
  grouping_ = false;
  if (done_ == groupStart_) return false;
  EditStep group{EditStep::kGroup, groupName_, Tree::kQuotations, nullptr};
  const auto first = steps_.begin() + static_cast<ptrdiff_t>(groupStart_);
  group.steps.assign(std::make_move_iterator(first), std::make_move_iterator(steps_.end()));
  steps_.erase(first, steps_.end());
  steps_.push_back(std::move(group));
  done_ = steps_.size();
  return true;
}

void EditHistory::CancelGroup() {
  grouping_ = false;
  while (done_ > groupStart_) Undo();
  while (steps_.size() > done_) {
    Drop(steps_.back(), false);
    steps_.pop_back();
  }
}

void EditHistory::Push(EditStep step) {
  while (steps_.size() > done_) {
    Drop(steps_.back(), false);
    steps_.pop_back();
  }
  if (saved_ != kNever && saved_ > done_) saved_ = kNever;  // the saved state is gone for good
  steps_.push_back(std::move(step));
  ++done_;
}

void EditHistory::Undo(std::vector<std::string>* records) {
  db_.touched_ = Apply(db_, steps_[--done_], false, records);
}

void EditHistory::Redo(std::vector<std::string>* records) {
  db_.touched_ = Apply(db_, steps_[done_++], true, records);
}

void EditHistory::Drop(EditStep& step, bool applied) {
  if (step.kind == EditStep::kGroup) {
    for (size_t i = step.steps.size(); i-- > 0;) Drop(step.steps[i], applied);
    return;
  }
  // A node out of its tree because of this step is held by nothing else.
  const bool out =
      (step.kind == EditStep::kInsert && !applied) || (step.kind == EditStep::kDelete && applied);
  if (!out) return;
  TreeStore& tree = db_.Of(step.tree);
  if (!tree.IsDetached(step.node)) return;
  if (step.tree == Tree::kCategories) db_.ReleaseRecord(step.node);
  tree.FreeDetached(step.node);
}

void EditHistory::Clear() {
  for (size_t i = steps_.size(); i-- > 0;) Drop(steps_[i], i < done_);
  steps_.clear();
  done_ = 0;
  saved_ = 0;
}

// --- Refusals ----------------------------------------------------------------

std::string Database::TextRefusal(const EditText& text, Encoding encoding) {
  // A text the database held before may hold what the file reads into one:
  // a lone CR, which only a line end's LF ends.
  if (text.bytes.find_first_of(text.restored ? "\n" : "\r\n") != std::string::npos)
    return "A text cannot contain line breaks: the database file keeps each text on one line.";
  if (!text.bytes.empty() && text.bytes.back() == '-')
    return "A text cannot end with '-': the database file would read it as continued on the "
           "next line.";
  if (!text.unstorable.empty())
    return "The character '" + text.unstorable + "' cannot be stored in the database.";
  // Only a text made elsewhere than in the window (a damaged journal) can be
  // so; the file would then not load.
  if (encoding == Encoding::kUtf8 && !IsValidUtf8(text.bytes))
    return "A text of this dictionary must be UTF-8 text.";
  return {};
}

std::string Database::SelectionRefusal(Tree tree, HTREEITEM selected) const {
  // An empty tree takes its first node with nothing selected: else no
  // dictionary could ever be started.
  return selected || Of(tree).IsEmpty() ? std::string() : SelectRefusal(tree);
}

std::string Database::CheckInsert(Tree tree, HTREEITEM selected, Placement place,
                                  const EditText& text) const {
  if (std::string refusal = SelectionRefusal(tree, selected); !refusal.empty()) return refusal;
  if (std::string refusal = NodeTextRefusal(tree, text, encoding); !refusal.empty()) return refusal;
  if (!selected) return {};
  const TreeStore& store = Of(tree);
  if (place == Placement::kBelow && store.GetChildItem(selected))
    return "This category already has nodes below it. First select one of them.";
  if (place == Placement::kBelow && store.GetLevel(selected) >= kDeepestLevel) return kTooDeep;
  return {};
}

std::string Database::NodeTextRefusal(Tree tree, const EditText& text, Encoding encoding) {
  if (text.bytes.empty() && !text.restored)
    return tree == Tree::kQuotations ? "Give the text for this new node"
                                     : "Give a title to this new category";
  return TextRefusal(text, encoding);
}

std::string Database::CheckAddReference(HTREEITEM category, HTREEITEM quotation,
                                        const EditText& text, bool fromQuotation) const {
  if (!category) return "First select a category in which to insert the reference";
  if (!quotation) return "Select a quotation from which to make the reference";
  if (text.bytes.empty() && !text.restored) return "The reference is null (no characters)";
  if (!fromQuotation) return "First select a quotation";
  return TextRefusal(text, encoding);
}

// --- Edits -------------------------------------------------------------------

void Database::Perform(EditStep step) {
  // Described before it is applied: the codes it names are those of now.
  const std::string record = journal_ ? Journal::Describe(*this, step, true) : std::string();
  const Touched touched = EditHistory::Apply(*this, step, true);
  KeepStep(std::move(step), touched, record);
}

void Database::KeepStep(EditStep step, const Touched& touched, const std::string& record) {
  history_->Push(std::move(step));
  touched_ = touched;
  MarkChanged();
  // On disk before the edit returns.
  if (journal_) journal_->Append(*this, record);
  HistoryChanged();
}

std::string Database::InsertNode(Tree tree, HTREEITEM selected, Placement place,
                                 const EditText& text, HTREEITEM* made) {
  if (std::string refusal = CheckInsert(tree, selected, place, text); !refusal.empty())
    return refusal;
  // Wherever it was asked to go, the first node of a tree is its first.
  if (!selected) return InsertNodeAt(tree, nullptr, 0, text, made);
  const TreeStore& store = Of(tree);
  if (place == Placement::kBelow)
    return InsertNodeAt(tree, selected, store.GetChildCount(selected), text, made);
  const int row = store.GetRow(selected);
  return InsertNodeAt(tree, store.GetParentItem(selected),
                      place == Placement::kAfter ? row + 1 : row, text, made);
}

std::string Database::InsertNodeAt(Tree tree, HTREEITEM parent, int row, const EditText& text,
                                   HTREEITEM* made) {
  if (std::string refusal = NodeTextRefusal(tree, text, encoding); !refusal.empty()) return refusal;
  TreeStore& store = Of(tree);
  if (parent && store.GetLevel(parent) >= kDeepestLevel) return kTooDeep;
  if (row < 0 || row > store.GetChildCount(parent)) return kNoSuchPlace;
  HTREEITEM node = store.InsertItem(text.bytes, parent,
                                    row == 0 ? TVI_FIRST : store.GetChildAt(parent, row - 1));
  if (tree == Tree::kCategories) AttachRecord(node);
  EditStep step{EditStep::kInsert, "New Node", tree, node};
  step.parent = parent;
  step.row = row;
  // A new node's parent has the code it had before.
  const std::string record = journal_ ? Journal::Describe(*this, step, true) : std::string();
  KeepStep(std::move(step), {tree, node, nullptr}, record);
  if (made) *made = node;
  return {};
}

std::string Database::UpdateText(Tree tree, HTREEITEM node, const EditText& text) {
  if (!node) return SelectRefusal(tree);
  if (std::string refusal = TextRefusal(text, encoding); !refusal.empty()) return refusal;
  EditStep step{EditStep::kUpdate, "Update Node", tree, node};
  step.text = text.bytes;
  Perform(std::move(step));
  return {};
}

std::string Database::DeleteNode(Tree tree, HTREEITEM node) {
  const TreeStore& store = Of(tree);
  if (tree == Tree::kQuotations) {
    if (!node) return "First select a quotation";
    if (store.GetChildItem(node))
      return "This node has other nodes at a lower level below it. Delete those first.";
    if (const uintptr_t count = store.GetItemData(node))
      return "This quotation is referenced " + std::to_string(count) +
             " times. Remove the references first.";
  } else {
    if (!node) return "First select a category";
    if (store.GetChildItem(node)) return "This category has nodes below it. Delete those first.";
    const CategoryRecord* record = Record(node);
    if (record && !record->subjectEntries.empty())
      return "This category has subject index items. Delete those first.";
    if (record && !record->referenceTexts.empty())
      return "This category has references. Delete those first.";
  }
  EditStep step{EditStep::kDelete, "Delete Node", tree, node};
  step.parent = store.GetParentItem(node);
  step.row = store.GetRow(node);
  Perform(std::move(step));
  return {};
}

std::string Database::AddReference(HTREEITEM category, HTREEITEM quotation, const EditText& text,
                                   int at, bool fromQuotation) {
  if (std::string refusal = CheckAddReference(category, quotation, text, fromQuotation);
      !refusal.empty())
    return refusal;
  const auto size = static_cast<int>(Record(category)->referenceTargets.size());
  if (at > size) return kNoSuchPlace;
  EditStep step{EditStep::kAddReference, "Add Reference", Tree::kCategories, category};
  step.index = at >= 0 ? at : size;
  step.target = quotation;
  step.referenceText = StoreText(text.bytes);
  Perform(std::move(step));
  return {};
}

std::string Database::DeleteReference(HTREEITEM category, int index) {
  const CategoryRecord* record = category ? Record(category) : nullptr;
  if (!record || index < 0 || static_cast<size_t>(index) >= record->referenceTargets.size())
    return "First select a reference";
  EditStep step{EditStep::kDeleteReference, "Delete Reference", Tree::kCategories, category};
  step.index = index;
  step.target = record->referenceTargets[static_cast<size_t>(index)];
  step.referenceText = record->referenceTexts[static_cast<size_t>(index)];
  Perform(std::move(step));
  return {};
}

std::string Database::AddSubject(HTREEITEM category, const EditText& entry, int index, int line) {
  if (!category) return "First select a category";
  if (entry.bytes.empty() && !entry.restored) return "A subject entry cannot be empty";
  if (std::string refusal = TextRefusal(entry, encoding); !refusal.empty()) return refusal;
  const auto size = static_cast<int>(Record(category)->subjectEntries.size());
  if (index > size || line < 0) return kNoSuchPlace;
  EditStep step{EditStep::kAddSubject, "Add Subject", Tree::kCategories, category};
  step.text = entry.bytes;
  step.index = index >= 0 ? index : size;
  // The list keeps its order: the line is the nearest place to it among
  // the equal entries.
  step.line = line;
  Perform(std::move(step));
  return {};
}

std::string Database::DeleteSubject(HTREEITEM category, std::string_view entry, int index,
                                    int line) {
  if (!category) return "First select a category";
  const auto& entries = Record(category)->subjectEntries;
  const auto found = index < 0 ? std::find(entries.begin(), entries.end(), entry)
                     : static_cast<size_t>(index) < entries.size() && entries[index] == entry
                         ? entries.begin() + index
                         : entries.end();
  if (found == entries.end()) return "This category has no such subject entry";
  // The list's line of this very entry, not of another equal one: a
  // conversion's undo finds each entry's text by its line's.
  const bool holds =
      line >= 0 && line < subjects.GetCount() && subjects.GetLBText(line).data() == found->data();
  if (!holds) line = subjects.Find(*found, category);
  if (line < 0) return "This category has no such subject entry";
  EditStep step{EditStep::kDeleteSubject, "Delete Subject", Tree::kCategories, category};
  step.text = std::string(entry);
  step.index = static_cast<int>(found - entries.begin());
  step.line = line;
  Perform(std::move(step));
  return {};
}

std::string Database::MoveNode(Tree tree, HTREEITEM node, HTREEITEM parent, int row,
                               const char* name) {
  TreeStore& store = Of(tree);
  if (!node) return SelectRefusal(tree);
  if (parent && store.IsWithin(parent, node)) return "A node cannot be moved into its own subtree.";
  const int level = parent ? store.GetLevel(parent) + 1 : 0;
  if (level > store.GetLevel(node) && level + store.SubtreeHeight(node) > kDeepestLevel)
    return kTooDeep;
  HTREEITEM from = store.GetParentItem(node);
  const int fromRow = store.GetRow(node);
  const int others = store.GetChildCount(parent) - (from == parent ? 1 : 0);
  row = std::clamp(row, 0, others);
  if (from == parent && row == fromRow) return {};  // already there
  EditStep step{EditStep::kMove, name, tree, node};
  step.parent = from;
  step.row = fromRow;
  step.toParent = parent;
  step.toRow = row;
  Perform(std::move(step));
  return {};
}

std::string Database::MoveNode(Tree tree, HTREEITEM node, HTREEITEM parent, int row) {
  return MoveNode(tree, node, parent, row, "Move Node");
}

std::string Database::MoveNode(Tree tree, HTREEITEM node, Direction direction, bool* moved) {
  if (moved) *moved = false;
  if (!node) return SelectRefusal(tree);
  const TreeStore& store = Of(tree);
  HTREEITEM parent = store.GetParentItem(node);
  const int row = store.GetRow(node);
  const size_t before = UndoCount();
  std::string refusal;
  switch (direction) {
    case Direction::kUp:
      if (row > 0) refusal = MoveNode(tree, node, parent, row - 1, "Move Up");
      break;
    case Direction::kDown:
      if (row + 1 < store.GetChildCount(parent))
        refusal = MoveNode(tree, node, parent, row + 1, "Move Down");
      break;
    case Direction::kOut:
      if (parent)
        refusal =
            MoveNode(tree, node, store.GetParentItem(parent), store.GetRow(parent) + 1, "Move Out");
      break;
    case Direction::kIn:
      if (HTREEITEM above = store.GetPrevSiblingItem(node))
        refusal = MoveNode(tree, node, above, store.GetChildCount(above), "Move In");
      break;
  }
  if (moved) *moved = UndoCount() != before;
  return refusal;
}

// --- Undo and redo -----------------------------------------------------------

bool Database::CanUndo() const {
  return history_->CanUndo();
}

bool Database::CanRedo() const {
  return history_->CanRedo();
}

std::string Database::UndoName() const {
  return CanUndo() ? history_->NextUndo().name : "";
}

std::string Database::RedoName() const {
  return CanRedo() ? history_->NextRedo().name : "";
}

size_t Database::UndoCount() const {
  return history_->Done();
}

bool Database::Undo() {
  return TakeStep(false);
}

bool Database::Redo() {
  return TakeStep(true);
}

bool Database::TakeStep(bool forward) {
  if (!(forward ? CanRedo() : CanUndo()) || history_->Grouping()) return false;
  const EditStep& step = forward ? history_->NextRedo() : history_->NextUndo();
  // Written as the change it makes, marked as an undo or a redo: a replay
  // takes the step back the same way, or puts back what the database held.
  // A group is its steps' changes, in the order they are made.
  const std::string mark = forward ? "redo " : "undo ";
  std::string first = step.kind == EditStep::kGroup ? Journal::GroupRecord(step) : std::string();
  std::vector<std::string> records;
  if (forward)
    history_->Redo(journal_ ? &records : nullptr);
  else
    history_->Undo(journal_ ? &records : nullptr);
  SetChanged(!history_->AtSaved());
  if (journal_) {
    if (first.empty()) {
      first = std::move(records.front());
      records.clear();
    }
    records.insert(records.begin(), mark + first);
    journal_->Append(*this, records);
  }
  HistoryChanged();
  return true;
}

void Database::BeginGroup(const char* name) {
  history_->BeginGroup(name);
  if (journal_) journal_->BeginGroup();
}

void Database::EndGroup() {
  const bool made = history_->EndGroup();
  if (journal_) journal_->EndGroup(*this, made ? &history_->NextUndo() : nullptr);
  HistoryChanged();
}

void Database::CancelGroup() {
  if (journal_) journal_->CancelGroup();
  history_->CancelGroup();
  SetChanged(!history_->AtSaved());
  HistoryChanged();
}

// --- Encodings -----------------------------------------------------------------

void Database::Recode(Encoding to, std::vector<PackedText>& texts) {
  if (to == encoding) return;
  const bool again = !texts.empty();
  size_t at = 0;
  std::vector<PackedText> before;
  auto recode = [to](std::string_view text, std::string& out) { return Recoded(text, to, out); };
  if (again) {
    quotations.ExchangeTexts(texts, at);
    categories.ExchangeTexts(texts, at);
  } else {
    before.reserve(quotations.GetCount() + categories.GetCount() +
                   static_cast<size_t>(referenceTotal + subjectTotal));
    quotations.RecodeTexts(recode, before);
    categories.RecodeTexts(recode, before);
  }
  // Entries are views of the list's texts: they follow them.
  const auto moved =
      again ? subjects.ExchangeTexts(texts, at) : subjects.RecodeTexts(recode, before);
  std::string out;
  for (HTREEITEM category = categories.GetRootItem(); category;) {
    CategoryRecord& record = *Record(category);
    for (PackedText& text : record.referenceTexts) {
      if (again) {
        std::swap(text, texts[at++]);
      } else {
        before.push_back(text);
        if (Recoded(text, to, out)) text = StoreText(out);
      }
    }
    for (std::string_view& entry : record.subjectEntries)
      if (auto it = moved.find(entry.data()); it != moved.end()) entry = it->second;
    if (NextNode(category, categories) == kEndOfWalk) break;
  }
  if (!again) texts = std::move(before);
  encoding = to;
}

bool Database::FitsWindows1252() const {
  if (encoding == Encoding::kWindows1252) return true;
  bool fits = true;
  for (const TreeStore* tree : {&quotations, &categories})
    WalkWithCodes(*tree, [&](HTREEITEM node, std::string_view, int) {
      fits = fits && lorelist::FitsWindows1252(tree->GetItemText(node));
      if (fits && tree == &categories)
        for (const PackedText& text : Record(node)->referenceTexts)
          fits = fits && lorelist::FitsWindows1252(text);
    });
  for (int i = 0; fits && i < subjects.GetCount(); ++i)
    fits = lorelist::FitsWindows1252(subjects.GetLBText(i));
  return fits;
}

std::string Database::ConvertEncoding(Encoding to) {
  if (to == encoding)
    return to == Encoding::kUtf8 ? "The dictionary is in Unicode already."
                                 : "The dictionary is in Windows-1252 already.";
  if (to == Encoding::kWindows1252 && !FitsWindows1252())
    return "The dictionary holds characters that Windows-1252 cannot hold.";
  EditStep step{EditStep::kConvert,
                to == Encoding::kUtf8 ? "Convert to Unicode" : "Convert to Windows-1252",
                Tree::kQuotations, nullptr};
  step.line = static_cast<int>(to);
  Perform(std::move(step));
  return {};
}

// --- Bookkeeping in bulk -----------------------------------------------------

void Database::AppendSubjectUnsorted(HTREEITEM category, std::string_view entry) {
  Record(category)->subjectEntries.push_back(subjects.AppendUnsorted(entry, category));
  ++subjectTotal;
}

void Database::AppendReference(CategoryRecord& record, HTREEITEM target, std::string_view text,
                               bool counted) {
  record.referenceTargets.push_back(target);
  record.referenceTexts.push_back(StoreText(text));
  if (counted) quotations.SetItemData(target, quotations.GetItemData(target) + 1);
  ++referenceTotal;
}

}  // namespace lorelist
