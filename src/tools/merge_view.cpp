#include "merge_view.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <functional>
#include <unordered_map>
#include <vector>

#include "panes/text.h"
#include "panes/text_direction.h"

namespace lorelist {

namespace {

// The whole of what a row says, for the line under the list.
constexpr int kDetailRole = Qt::UserRole;

// A change's answer: not taken (a conflict: mine kept), taken (theirs), or
// for a text both changed, mine's then theirs'.
enum Choice : uint8_t { kMineKept, kTheirsTaken, kBothTaken };
constexpr const char* kAnswerNames[] = {"Mine", "Theirs", "Both"};

// The groups in the order they are listed. Conflicts come first, in a group
// of their own: each needs an answer, and a kind's box then never decides
// one unseen. The rest follow as a reader meets them in the file.
enum Group {
  kConflictGroup,
  kEncodingGroup,
  kQuotationNodes,  // inserted, deleted, texts changed, moved
  kCategoryNodes = kQuotationNodes + 4,
  kRecords = kCategoryNodes + 4,  // references added, deleted; entries added, deleted
  kOtherGroup = kRecords + 4,     // a kind this view does not know
  kGroups,
};
constexpr std::array<const char*, kGroups> kGroupNames = {"Conflicts",
                                                          "Encoding changed",
                                                          "Quotation nodes inserted",
                                                          "Quotation nodes deleted",
                                                          "Quotation texts changed",
                                                          "Quotation nodes moved",
                                                          "Categories inserted",
                                                          "Categories deleted",
                                                          "Category titles changed",
                                                          "Categories moved",
                                                          "References added",
                                                          "References deleted",
                                                          "Subject entries added",
                                                          "Subject entries deleted",
                                                          "Other changes"};

int GroupOf(const Change& change) {
  if (change.conflict != Change::kNone) return kConflictGroup;
  if (change.kind == Change::kEncoding) return kEncodingGroup;
  const int kind = static_cast<int>(change.kind);
  if (change.kind > Change::kEntryDeleted) return kOtherGroup;
  if (change.kind >= Change::kReferenceAdded) return kRecords + kind - Change::kReferenceAdded;
  return (change.tree == Tree::kQuotations ? kQuotationNodes : kCategoryNodes) + kind;
}

// A conflict in words, and the answers it offers: mine only, mine or
// theirs, or for a text also both.
struct ConflictKind {
  Change::Conflict conflict;
  const char* words;
  int answers;
};
constexpr ConflictKind kConflictKinds[] = {
    {Change::kTextTwice, "Both changed the text.", 3},
    {Change::kDeletedChanged, "Theirs deleted what mine changed.", 2},
    {Change::kChangedDeleted, "Theirs changed what mine deleted.", 2},
    {Change::kMovedTwice, "Each moved it elsewhere.", 2},
    {Change::kCannotMake, "Theirs cannot be made in mine: the tree would be too deep.", 1},
};

// One the view does not know yet is still answered, in general words.
ConflictKind KindOf(Change::Conflict conflict) {
  for (const ConflictKind& kind : kConflictKinds)
    if (kind.conflict == conflict) return kind;
  return {conflict, "Mine and theirs differ here.", 2};
}

// How many answers a change has: a change that does not conflict is taken
// or not, as theirs or mine.
int AnswersOf(const Change& change) {
  return change.conflict == Change::kNone ? 2 : KindOf(change.conflict).answers;
}

// What a conflict's answer can be, by how many it offers; Space or a click
// moves it on.
constexpr const char* kAnswerWords[] = {
    " Only mine can be kept.",
    " Keep mine, or take theirs. Space or a click changes the answer.",
    " Keep mine, take theirs, or both: mine's text, then theirs'. Space or a click changes the "
    "answer.",
};

QString Counted(size_t n, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString EncodingWords(Encoding encoding) {
  return encoding == Encoding::kUtf8 ? QStringLiteral("Unicode (UTF-8)")
                                     : QStringLiteral("Windows-1252");
}

size_t SubtreeSize(const TreeStore& tree, HTREEITEM node) {
  size_t size = 1;
  for (HTREEITEM child = tree.GetChildItem(node); child; child = tree.GetNextSiblingItem(child))
    size += SubtreeSize(tree, child);
  return size;
}

// What a cell shows: a text of the dictionary, or a word of the view's own
// about it (in italics, so that it is not taken for a text).
struct Cell {
  QString text;
  bool note = false;
};

Cell Note(const char* text) {
  return {QString::fromLatin1(text), true};
}

}  // namespace

// The plan's changes under their groups: a group is a top-level row, its
// changes the rows below it. Rows are described when shown, from the nodes
// of the two versions; only the answers are kept, and given to the plan by
// OK.
class MergeModel : public QAbstractItemModel {
 public:
  MergeModel(const MergePlan& plan, const Database& mine, const Database& theirs);

  // The answers, as the plan takes them.
  void GiveTo(MergePlan& plan) const;
  // What Space does on a row: ticks or unticks it (a group: all of it), or
  // moves a conflict's answer on to the next.
  void Toggle(const QModelIndex& index);
  bool IsConflict(const QModelIndex& index) const {
    return IsChange(index) && Of(index).conflict != Change::kNone;
  }
  // The answers a change offers, in order: mine, theirs, both.
  int Answers(const QModelIndex& index) const { return AnswersOf(Of(index)); }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& = {}) const override { return CMergeView::kColumns; }
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Listed {
    int group;
    std::vector<uint32_t> changes;
    size_t taken = 0;
    size_t takeable = 0;  // all but those where only mine can be kept
  };
  bool IsChange(const QModelIndex& index) const { return index.isValid() && index.internalId(); }
  uint32_t ChangeAt(const QModelIndex& index) const {
    return groups_[index.internalId() - 1].changes[static_cast<size_t>(index.row())];
  }
  const Change& Of(const QModelIndex& index) const { return plan_.changes[ChangeAt(index)]; }
  QModelIndex RowOf(uint32_t change, int column = 0) const {
    const auto [group, row] = place_[change];
    return createIndex(static_cast<int>(row), column, quintptr(group) + 1);
  }
  void Set(uint32_t change, Choice choice);
  void SetGroup(size_t group, bool take);
  Qt::CheckState GroupState(const Listed& group) const;
  // A change that is taken but will not be made: a change it needs is not
  // taken. kNone when there is none.
  uint32_t Unmade(uint32_t change) const;
  // What a change's row says besides its columns: the conflict and its
  // answers (where asked), and a change it needs that is not taken.
  QStringList Remarks(uint32_t change, bool conflict) const;

  // Descriptions in the dictionary's terms.
  Cell Describe(const Change& change, int column, size_t limit) const;
  QString Text(const Database& db, Tree tree, HTREEITEM node, size_t limit) const {
    return FromDbShown(db.Of(tree).GetItemText(node), db.encoding, limit);
  }
  // A node's ancestors from the top, as "Seneca › Letters", with the node
  // itself at the end where asked; empty for a top-level node's ancestors.
  QString Path(const Database& db, Tree tree, HTREEITEM node, bool withNode, size_t limit) const;
  Cell Ancestors(const Database& db, Tree tree, HTREEITEM node, size_t limit) const;
  // Where a node stands: under which node, and where its parent is the
  // same on both sides, at which place among its siblings.
  QString Place(const Database& db, Tree tree, HTREEITEM node, bool withRow, size_t limit) const;
  QString NodeWithSubtree(const Database& db, Tree tree, HTREEITEM node, size_t limit) const;
  QString Reference(const Database& db, HTREEITEM quotation, std::string_view text,
                    size_t limit) const;

  const MergePlan& plan_;
  const Database& mine_;
  const Database& theirs_;
  std::vector<uint8_t> choices_;
  std::vector<Listed> groups_;                        // those that hold changes, in order
  std::vector<std::pair<uint32_t, uint32_t>> place_;  // each change's group and row
  // Changes that are made only with others: a reference to a quotation
  // with that quotation's insertion, a deletion with the moves out of it.
  std::unordered_map<uint32_t, std::vector<uint32_t>> needs_, neededBy_;
  // Subtrees counted once: a row is described again at each paint, and a
  // deleted author may hold most of the dictionary.
  mutable std::unordered_map<HTREEITEM, size_t> sizes_;
};

MergeModel::MergeModel(const MergePlan& plan, const Database& mine, const Database& theirs)
    : plan_(plan), mine_(mine), theirs_(theirs) {
  const std::vector<Change>& changes = plan.changes;
  std::array<std::vector<uint32_t>, kGroups> members;
  choices_.reserve(changes.size());
  for (uint32_t i = 0; i < changes.size(); ++i) {
    const Change& change = changes[i];
    const int choice = !change.take ? kMineKept : change.both ? kBothTaken : kTheirsTaken;
    choices_.push_back(static_cast<uint8_t>(std::min(choice, AnswersOf(change) - 1)));
    members[static_cast<size_t>(GroupOf(change))].push_back(i);
  }
  place_.resize(changes.size());
  for (int group = 0; group < kGroups; ++group) {
    std::vector<uint32_t>& changesOf = members[static_cast<size_t>(group)];
    if (changesOf.empty()) continue;
    Listed listed{group, std::move(changesOf)};
    for (uint32_t row = 0; row < listed.changes.size(); ++row) {
      place_[listed.changes[row]] = {static_cast<uint32_t>(groups_.size()), row};
      listed.taken += choices_[listed.changes[row]] != kMineKept;
      listed.takeable += AnswersOf(changes[listed.changes[row]]) > 1;
    }
    groups_.push_back(std::move(listed));
  }
  // The dependencies, found by climbing from each dependent change: an
  // insertion by the top of its subtree in theirs, a deletion by its node in
  // mine.
  std::unordered_map<HTREEITEM, uint32_t> inserted, deleted;
  for (uint32_t i = 0; i < changes.size(); ++i) {
    const Change& change = changes[i];
    if (change.kind == Change::kInserted && change.tree == Tree::kQuotations)
      inserted.emplace(change.theirs, i);
    else if (change.kind == Change::kDeleted && change.mine)
      deleted.emplace(change.mine, i);
  }
  auto need = [&](uint32_t dependent, uint32_t needed) {
    needs_[dependent].push_back(needed);
    neededBy_[needed].push_back(dependent);
  };
  for (uint32_t i = 0; i < changes.size(); ++i) {
    const Change& change = changes[i];
    if (change.kind != Change::kReferenceAdded || change.quotationBase || !change.quotationTheirs)
      continue;
    for (HTREEITEM up = change.quotationTheirs; up; up = theirs.quotations.GetParentItem(up))
      if (auto found = inserted.find(up); found != inserted.end()) {
        need(i, found->second);
        break;
      }
  }
  if (!deleted.empty())
    for (uint32_t i = 0; i < changes.size(); ++i) {
      const Change& change = changes[i];
      if (change.kind != Change::kMoved || !change.mine) continue;
      // A move out of a deleted subtree: without it, the node moved stays
      // and keeps its parent.
      const TreeStore& tree = mine.Of(change.tree);
      for (HTREEITEM up = tree.GetParentItem(change.mine); up; up = tree.GetParentItem(up))
        if (auto found = deleted.find(up);
            found != deleted.end() && changes[found->second].tree == change.tree) {
          need(found->second, i);
          break;
        }
    }
}

void MergeModel::GiveTo(MergePlan& plan) const {
  for (size_t i = 0; i < plan.changes.size(); ++i) {
    plan.changes[i].take = choices_[i] != kMineKept;
    plan.changes[i].both = choices_[i] == kBothTaken;
  }
}

QModelIndex MergeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= CMergeView::kColumns) return {};
  if (!parent.isValid())
    return static_cast<size_t>(row) < groups_.size() ? createIndex(row, column, quintptr(0))
                                                     : QModelIndex();
  if (IsChange(parent)) return {};
  const size_t group = static_cast<size_t>(parent.row());
  if (static_cast<size_t>(row) >= groups_[group].changes.size()) return {};
  return createIndex(row, column, quintptr(group) + 1);
}

QModelIndex MergeModel::parent(const QModelIndex& child) const {
  if (!IsChange(child)) return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr(0));
}

int MergeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(groups_.size());
  if (IsChange(parent) || parent.column() != 0) return 0;
  return static_cast<int>(groups_[static_cast<size_t>(parent.row())].changes.size());
}

Qt::ItemFlags MergeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == CMergeView::kWhere && !IsConflict(index)) flags |= Qt::ItemIsUserCheckable;
  if (index.column() == CMergeView::kKeep && IsConflict(index) && Answers(index) > 1)
    flags |= Qt::ItemIsEditable;
  return flags;
}

QVariant MergeModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static constexpr const char* kHeaders[] = {"Where", "Mine", "Theirs", "Keep"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= CMergeView::kColumns)
    return {};
  return QString::fromLatin1(kHeaders[section]);
}

Qt::CheckState MergeModel::GroupState(const Listed& group) const {
  if (group.taken == 0) return Qt::Unchecked;
  return group.taken == group.takeable ? Qt::Checked : Qt::PartiallyChecked;
}

uint32_t MergeModel::Unmade(uint32_t change) const {
  if (choices_[change] == kMineKept) return kNone;
  const auto found = needs_.find(change);
  if (found == needs_.end()) return kNone;
  for (uint32_t needed : found->second)
    if (choices_[needed] == kMineKept) return needed;
  return kNone;
}

QVariant MergeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const int column = index.column();
  if (!IsChange(index)) {
    const Listed& group = groups_[static_cast<size_t>(index.row())];
    if (column != CMergeView::kWhere) return {};
    switch (role) {
      case Qt::DisplayRole:
        return QStringLiteral("%1 (%2)")
            .arg(QLatin1String(kGroupNames[static_cast<size_t>(group.group)]))
            .arg(group.changes.size());
      case Qt::CheckStateRole:
        return GroupState(group);
      case Qt::FontRole: {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      case Qt::ToolTipRole:
        return QLatin1String(group.group == kConflictGroup
                                 ? "Ticked: theirs taken in every conflict where it can be; "
                                   "unticked: mine kept in all."
                                 : "Ticked: all of them taken; unticked: none.");
      case kDetailRole:
        return data(index, Qt::DisplayRole).toString() + QLatin1Char('\n') +
               data(index, Qt::ToolTipRole).toString();
      default:
        return {};
    }
  }
  const uint32_t i = ChangeAt(index);
  const Change& change = plan_.changes[i];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      if (column == CMergeView::kKeep) {
        if (change.conflict == Change::kNone) return {};
        if (role == Qt::EditRole) return choices_[i];
        return QString::fromLatin1(kAnswerNames[choices_[i]]);
      }
      return Describe(change, column, kPaneLineLimit).text;
    case Qt::CheckStateRole:
      if (column != CMergeView::kWhere || change.conflict != Change::kNone) return {};
      return choices_[i] == kMineKept ? Qt::Unchecked : Qt::Checked;
    case Qt::FontRole:
      if (column != CMergeView::kKeep && Describe(change, column, kPaneLineLimit).note) {
        QFont italic;
        italic.setItalic(true);
        return italic;
      }
      return {};
    case Qt::ForegroundRole:
      if (Unmade(i) != kNone)
        return QApplication::palette().color(QPalette::Disabled, QPalette::Text);
      return {};
    case Qt::ToolTipRole: {
      QStringList tip = Remarks(i, column != CMergeView::kMine && column != CMergeView::kTheirs);
      if (column != CMergeView::kKeep) tip << Describe(change, column, kMessageLimit).text;
      return tip.isEmpty() ? QVariant() : tip.join(QLatin1Char('\n'));
    }
    case kDetailRole: {
      QStringList detail = Remarks(i, true);
      static constexpr const char* kSides[] = {"Where: ", "Mine: ", "Theirs: "};
      for (int side = CMergeView::kWhere; side <= CMergeView::kTheirs; ++side)
        detail << QLatin1String(kSides[side]) + Describe(change, side, kMessageLimit).text;
      return detail.join(QLatin1Char('\n'));
    }
    default:
      return {};
  }
}

QStringList MergeModel::Remarks(uint32_t i, bool conflict) const {
  QStringList remarks;
  const Change& change = plan_.changes[i];
  if (conflict && change.conflict != Change::kNone)
    remarks << QLatin1String(KindOf(change.conflict).words) +
                   QLatin1String(kAnswerWords[KindOf(change.conflict).answers - 1]);
  if (const uint32_t needed = Unmade(i); needed != kNone) {
    const Change& other = plan_.changes[needed];
    remarks << QStringLiteral("Not made unless this is taken too: %1: %2")
                   .arg(QLatin1String(kGroupNames[static_cast<size_t>(GroupOf(other))]),
                        Describe(other,
                                 other.kind == Change::kInserted ? CMergeView::kTheirs
                                                                 : CMergeView::kWhere,
                                 kPaneLineLimit)
                            .text);
  }
  return remarks;
}

bool MergeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid()) return false;
  if (role == Qt::CheckStateRole && index.column() == CMergeView::kWhere) {
    const bool take = value.toInt() != Qt::Unchecked;
    if (!IsChange(index))
      SetGroup(static_cast<size_t>(index.row()), take);
    else if (!IsConflict(index))
      Set(ChangeAt(index), take ? kTheirsTaken : kMineKept);
    else
      return false;
    return true;
  }
  if (role == Qt::EditRole && index.column() == CMergeView::kKeep && IsConflict(index)) {
    bool ok = false;
    const int answer = value.toInt(&ok);
    if (!ok || answer < 0 || answer >= Answers(index)) return false;
    Set(ChangeAt(index), static_cast<Choice>(answer));
    return true;
  }
  return false;
}

void MergeModel::Toggle(const QModelIndex& at) {
  if (!at.isValid()) return;
  const QModelIndex row = at.siblingAtColumn(CMergeView::kWhere);
  if (!IsChange(row))
    SetGroup(static_cast<size_t>(row.row()),
             GroupState(groups_[static_cast<size_t>(row.row())]) != Qt::Checked);
  else if (IsConflict(row))
    Set(ChangeAt(row), static_cast<Choice>((choices_[ChangeAt(row)] + 1) % Answers(row)));
  else
    Set(ChangeAt(row), choices_[ChangeAt(row)] == kMineKept ? kTheirsTaken : kMineKept);
}

void MergeModel::Set(uint32_t change, Choice choice) {
  const Choice was = static_cast<Choice>(choices_[change]);
  if (was == choice) return;
  choices_[change] = choice;
  const uint32_t group = place_[change].first;
  groups_[group].taken += choice != kMineKept;
  groups_[group].taken -= was != kMineKept;
  emit dataChanged(RowOf(change), RowOf(change, CMergeView::kColumns - 1));
  const QModelIndex groupRow = index(static_cast<int>(group), 0);
  emit dataChanged(groupRow, groupRow, {Qt::CheckStateRole});
  // Those that need it may be made now, or not any more.
  if (auto found = neededBy_.find(change); found != neededBy_.end())
    for (uint32_t dependent : found->second)
      emit dataChanged(RowOf(dependent), RowOf(dependent, CMergeView::kColumns - 1));
}

void MergeModel::SetGroup(size_t group, bool take) {
  Listed& listed = groups_[group];
  for (uint32_t change : listed.changes)
    // Ticking a group of conflicts takes theirs where mine was kept and
    // theirs can be taken, and leaves an answer of both as it is.
    if (take ? choices_[change] == kMineKept && AnswersOf(plan_.changes[change]) > 1
             : choices_[change] != kMineKept)
      choices_[change] = take ? kTheirsTaken : kMineKept;
  listed.taken = take ? listed.takeable : 0;
  // Rows of other groups may depend on these: every row is told.
  for (size_t g = 0; g < groups_.size(); ++g) {
    const QModelIndex top = index(static_cast<int>(g), 0);
    emit dataChanged(top, top, {Qt::CheckStateRole});
    if (!groups_[g].changes.empty())
      emit dataChanged(index(0, 0, top), index(static_cast<int>(groups_[g].changes.size()) - 1,
                                               CMergeView::kColumns - 1, top));
  }
}

QString MergeModel::Path(const Database& db, Tree tree, HTREEITEM node, bool withNode,
                         size_t limit) const {
  const TreeStore& store = db.Of(tree);
  std::vector<HTREEITEM> path;
  for (HTREEITEM up = withNode ? node : store.GetParentItem(node); up; up = store.GetParentItem(up))
    path.push_back(up);
  QString text;
  for (size_t k = path.size(); k-- > 0;) {
    if (!text.isEmpty()) text += QStringLiteral(" \u203A ");
    text += Text(db, tree, path[k], limit);
  }
  return text;
}

Cell MergeModel::Ancestors(const Database& db, Tree tree, HTREEITEM node, size_t limit) const {
  QString path = Path(db, tree, node, false, limit);
  if (path.isEmpty()) return Note("top level");
  return {path};
}

QString MergeModel::Place(const Database& db, Tree tree, HTREEITEM node, bool withRow,
                          size_t limit) const {
  const QString parent = Path(db, tree, node, false, limit);
  QString place = parent.isEmpty() ? QStringLiteral("at the top level")
                                   : QStringLiteral("under %1").arg(parent);
  if (withRow) place += QStringLiteral(", place %1").arg(db.Of(tree).GetRow(node) + 1);
  return place;
}

QString MergeModel::NodeWithSubtree(const Database& db, Tree tree, HTREEITEM node,
                                    size_t limit) const {
  auto [at, isNew] = sizes_.try_emplace(node, 0);
  if (isNew) at->second = SubtreeSize(db.Of(tree), node);
  const size_t size = at->second;
  QString text = Text(db, tree, node, limit);
  if (size > 1) text += QStringLiteral(" (subtree of %1 nodes)").arg(size);
  return text;
}

QString MergeModel::Reference(const Database& db, HTREEITEM quotation, std::string_view text,
                              size_t limit) const {
  return FromDbShown(text, db.encoding, limit) + QStringLiteral(" \u2192 ") +
         Path(db, Tree::kQuotations, quotation, true, limit);
}

Cell MergeModel::Describe(const Change& c, int column, size_t limit) const {
  const Tree tree = c.tree;
  // The node a change is about, as mine has it, else as theirs has it.
  const Database& db = c.mine ? mine_ : theirs_;
  HTREEITEM const node = c.mine ? c.mine : c.theirs;
  const bool mineSide = column == CMergeView::kMine;
  switch (c.kind) {
    case Change::kEncoding:
      if (column == CMergeView::kWhere) return Note("the whole dictionary");
      return {EncodingWords(mineSide ? mine_.encoding : theirs_.encoding)};
    case Change::kText:
      if (column == CMergeView::kWhere) return Ancestors(db, tree, node, limit);
      if (mineSide) return c.mine ? Cell{Text(mine_, tree, c.mine, limit)} : Note("deleted");
      return {Text(theirs_, tree, c.theirs, limit)};
    case Change::kMoved: {
      if (column == CMergeView::kWhere) return {Path(db, tree, node, true, limit)};
      if (mineSide && !c.mine) return Note("deleted");
      // Moved among its siblings only: the places tell it.
      const bool sameParent = c.mine && Place(mine_, tree, c.mine, false, limit) ==
                                            Place(theirs_, tree, c.theirs, false, limit);
      return {mineSide ? Place(mine_, tree, c.mine, sameParent, limit)
                       : Place(theirs_, tree, c.theirs, sameParent, limit)};
    }
    case Change::kInserted:
      // Mine holds its parent (none at the top level, or where mine deleted it).
      if (column == CMergeView::kWhere)
        return c.mine ? Cell{Path(mine_, tree, c.mine, true, limit)}
                      : Ancestors(theirs_, tree, c.theirs, limit);
      if (mineSide) return c.conflict != Change::kNone ? Note("its parent deleted") : Note("none");
      return {NodeWithSubtree(theirs_, tree, c.theirs, limit)};
    case Change::kDeleted:
      if (!mineSide && column != CMergeView::kWhere) return Note("deleted");
      if (c.mine)
        return column == CMergeView::kWhere ? Ancestors(mine_, tree, c.mine, limit)
                                            : Cell{NodeWithSubtree(mine_, tree, c.mine, limit)};
      // Mine deleted it too, and keeps some of its nodes elsewhere.
      if (column == CMergeView::kWhere) return Ancestors(plan_.Base(), tree, c.base, limit);
      return {Text(plan_.Base(), tree, c.base, limit) +
              QStringLiteral(" (deleted; some of its nodes kept elsewhere)")};
    case Change::kReferenceAdded:
    case Change::kEntryAdded:
    case Change::kReferenceDeleted:
    case Change::kEntryDeleted: {
      if (column == CMergeView::kWhere) return {Path(db, Tree::kCategories, node, true, limit)};
      const bool reference =
          c.kind == Change::kReferenceAdded || c.kind == Change::kReferenceDeleted;
      if (c.kind == Change::kReferenceAdded || c.kind == Change::kEntryAdded) {
        if (!mineSide)
          return {reference ? Reference(theirs_, c.quotationTheirs, c.text, limit)
                            : FromDbShown(c.text, theirs_.encoding, limit)};
        if (c.conflict == Change::kNone) return Note("none");
        return Note(c.mine ? "its quotation deleted" : "its category deleted");
      }
      if (!mineSide) return Note("deleted");
      // Deleted: as mine holds it, in mine's encoding.
      const CategoryRecord& record = *mine_.Record(c.mine);
      const auto at = static_cast<size_t>(c.mineIndex);
      return {reference ? Reference(mine_, c.quotationMine, record.referenceTexts[at], limit)
                        : FromDbShown(record.subjectEntries[at], mine_.encoding, limit)};
    }
    default:  // a kind this view does not know: its node on each side
      if (column == CMergeView::kWhere)
        return node ? Cell{Path(db, tree, node, true, limit)} : Note("the whole dictionary");
      if (HTREEITEM side = mineSide ? c.mine : c.theirs)
        return {Text(mineSide ? mine_ : theirs_, tree, side, limit)};
      return Note("none");
  }
}

namespace {

// The list: Space ticks the current row, whatever its column, or moves a
// conflict's answer on; Return and Escape are left to the dialog.
class ChangeList : public QTreeView {
 public:
  explicit ChangeList(MergeModel& model, QWidget* parent) : QTreeView(parent), model_(model) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if ((event->key() == Qt::Key_Space || event->key() == Qt::Key_Select) &&
        event->modifiers() == Qt::NoModifier && state() != EditingState) {
      model_.Toggle(currentIndex());
      return;
    }
    QTreeView::keyPressEvent(event);
  }

 private:
  MergeModel& model_;
};

// A conflict's answers, as a list that tells when it closes.
class AnswerBox : public QComboBox {
 public:
  using QComboBox::QComboBox;
  void hidePopup() override {
    QComboBox::hidePopup();
    if (hidden) hidden();
  }
  std::function<void()> hidden;
  bool done = false;
};

// Texts in their own direction; a conflict's answer drawn as the choice it
// is, chosen from a list that opens at once.
class MergeDelegate : public TextDirectionDelegate {
 public:
  using TextDirectionDelegate::TextDirectionDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    if (index.column() != CMergeView::kKeep)
      return TextDirectionDelegate::createEditor(parent, option, index);
    auto* box = new AnswerBox(parent);
    const int answers = static_cast<const MergeModel*>(index.model())->Answers(index);
    for (int answer = 0; answer < answers; ++answer)
      box->addItem(QLatin1String(kAnswerNames[answer]));
    auto* self = const_cast<MergeDelegate*>(this);
    connect(box, &QComboBox::activated, self, [self, box] {
      box->done = true;
      emit self->commitData(box);
      emit self->closeEditor(box);
    });
    // Closed without a choice (Escape, a click elsewhere): the answer stays,
    // and the keys go back to the list. Told after the choice, if any.
    box->hidden = [self, box] {
      QTimer::singleShot(0, box, [self, box] {
        if (!box->done) emit self->closeEditor(box, QAbstractItemDelegate::RevertModelCache);
        box->done = true;
      });
    };
    QTimer::singleShot(0, box, &QComboBox::showPopup);
    return box;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor))
      box->setCurrentIndex(index.data(Qt::EditRole).toInt());
    else
      TextDirectionDelegate::setEditorData(editor, index);
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    if (auto* box = qobject_cast<QComboBox*>(editor))
      model->setData(index, box->currentIndex(), Qt::EditRole);
    else
      TextDirectionDelegate::setModelData(editor, model, index);
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    if (index.column() != CMergeView::kKeep || !(index.flags() & Qt::ItemIsEditable)) {
      TextDirectionDelegate::paint(painter, option, index);
      return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    item.text.clear();
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, option.widget);
    QStyleOptionComboBox box;
    box.QStyleOption::operator=(option);
    box.state |= QStyle::State_Enabled;
    box.state &= ~QStyle::State_Selected;
    box.rect = option.rect.adjusted(1, 1, -1, -1);
    box.currentText = index.data().toString();
    style->drawComplexControl(QStyle::CC_ComboBox, &box, painter, option.widget);
    style->drawControl(QStyle::CE_ComboBoxLabel, &box, painter, option.widget);
  }
  // Every row as high as a choice box, so that rows stay of one height.
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = TextDirectionDelegate::sizeHint(option, index);
    QStyleOptionComboBox box;
    box.QStyleOption::operator=(option);
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    const int height = style
                           ->sizeFromContents(QStyle::CT_ComboBox, &box,
                                              option.fontMetrics.size(0, "Theirs"), option.widget)
                           .height();
    size.setHeight(std::max(size.height(), height));
    return size;
  }
};

}  // namespace

CMergeView::CMergeView(MergePlan& plan, const Database& mine, const Database& theirs,
                       const QString& what, QWidget* parent)
    : QDialog(parent), plan_(plan), model_(std::make_unique<MergeModel>(plan, mine, theirs)) {
  setWindowTitle(QStringLiteral("Merge"));
  auto* layout = new QVBoxLayout(this);
  const size_t conflicts = plan.Conflicts();
  QString line = QStringLiteral("%1: %2, %3.")
                     .arg(what, Counted(plan.changes.size(), "change", "changes"),
                          conflicts ? Counted(conflicts, "conflict", "conflicts")
                                    : QStringLiteral("no conflicts"));
  if (plan.TwoWay() && !plan.changes.empty())
    line += QStringLiteral(
        " With no common version, each difference is a choice: tick those "
        "to take.");
  else if (conflicts)
    line += QStringLiteral(" Each conflict asks which side to keep.");
  summary_ = new QLabel(line, this);
  summary_->setWordWrap(true);
  summary_->setTextFormat(Qt::PlainText);
  layout->addWidget(summary_);

  view_ = new ChangeList(*model_, this);
  view_->setModel(model_.get());
  view_->setItemDelegate(new MergeDelegate(view_));
  // Thousands of rows: one height for all, and no column measured over them.
  view_->setUniformRowHeights(true);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setEditTriggers(QAbstractItemView::EditKeyPressed);
  view_->setAllColumnsShowFocus(true);
  view_->setTextElideMode(Qt::ElideRight);
  QHeaderView* header = view_->header();
  header->setStretchLastSection(false);
  for (int column : {kWhere, kMine, kTheirs})
    header->setSectionResizeMode(column, QHeaderView::Stretch);
  header->setSectionResizeMode(kKeep, QHeaderView::Fixed);
  header->resizeSection(kKeep, fontMetrics().horizontalAdvance(QStringLiteral("Theirs")) * 3);
  connect(view_, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    if (index.column() == kKeep && (index.flags() & Qt::ItemIsEditable)) view_->edit(index);
  });
  view_->expandAll();
  if (model_->rowCount() > 0) view_->setCurrentIndex(model_->index(0, 0));
  layout->addWidget(view_, 1);

  // The current row whole: cells are cut to their width, and a conflict's
  // kind is said only here and in the tooltip.
  detail_ = new QPlainTextEdit(this);
  detail_->setReadOnly(true);
  detail_->setFocusPolicy(Qt::ClickFocus);
  detail_->setFixedHeight(fontMetrics().lineSpacing() * 5 + 2 * detail_->frameWidth() +
                          static_cast<int>(2 * detail_->document()->documentMargin()));
  auto showDetail = [this] {
    detail_->setPlainText(
        view_->currentIndex().siblingAtColumn(kWhere).data(kDetailRole).toString());
  };
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, showDetail);
  connect(model_.get(), &QAbstractItemModel::dataChanged, this, showDetail);
  showDetail();
  layout->addWidget(detail_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  cancel_ = buttons->button(QDialogButtonBox::Cancel);
  ok_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(980, 560);
  view_->setFocus();
}

CMergeView::~CMergeView() = default;

void CMergeView::accept() {
  model_->GiveTo(plan_);
  QDialog::accept();
}

}  // namespace lorelist
