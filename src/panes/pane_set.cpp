#include "pane_set.h"

#include <QApplication>
#include <QLineEdit>
#include <QSplitter>

#include "text.h"

namespace lorelist {

namespace {

QSplitter* NewSplitter(Qt::Orientation orientation, QWidget* parent) {
  auto* splitter = new QSplitter(orientation, parent);
  splitter->setChildrenCollapsible(true);
  splitter->setOpaqueResize(true);
  return splitter;
}

// Ideal sizes fitted to the space a splitter has: a size below 10 pixels is
// not shown, the others get their ideal size while space lasts, and the last
// one takes whatever is left.
QList<int> Fit(const QList<int>& ideal, const QSplitter& splitter) {
  const int length =
      splitter.orientation() == Qt::Horizontal ? splitter.width() : splitter.height();
  int remaining = length - splitter.handleWidth() * static_cast<int>(ideal.size() - 1);
  QList<int> sizes;
  for (qsizetype i = 0; i + 1 < ideal.size(); ++i) {
    const int size = ideal[i] < 10 ? 0 : std::min(ideal[i], std::max(remaining, 0));
    sizes.append(size);
    remaining -= size;
  }
  sizes.append(std::max(remaining, 0));
  return sizes;
}

}  // namespace

PaneSet::PaneSet(Database& db, QWidget* parent) : QObject(parent), db_(db) {
  outer_ = NewSplitter(Qt::Horizontal, parent);
  quotationColumn_ = NewSplitter(Qt::Vertical, outer_);
  categoryColumn_ = NewSplitter(Qt::Vertical, outer_);
  rightColumn_ = NewSplitter(Qt::Vertical, outer_);
  lists_ = NewSplitter(Qt::Horizontal, rightColumn_);
  referenceColumn_ = NewSplitter(Qt::Vertical, lists_);
  subjectColumn_ = NewSplitter(Qt::Vertical, lists_);

  auto caption = [](QSplitter* splitter) {
    auto* title = new CTitle(splitter);
    splitter->addWidget(title);
    return title;
  };
  captions_[0] = caption(quotationColumn_);
  quotations_ = new QuoteTree(db.quotations, db.encoding, quotationColumn_);
  captions_[1] = caption(categoryColumn_);
  categories_ = new CCatTree(db.categories, db.encoding, categoryColumn_);
  captions_[4] = caption(referenceColumn_);
  refView_ = new CLocalRefVw(referenceColumn_);
  captions_[5] = caption(subjectColumn_);
  subjView_ = new CSubjVw(db.subjects, db.encoding, subjectColumn_);
  captions_[2] = caption(rightColumn_);
  derivView_ = new CDerivView(rightColumn_);
  captions_[3] = caption(rightColumn_);
  workspace_ = new CReference(rightColumn_);

  captions_[0]->SetTitle(QStringLiteral("Quotations"), QColor(255, 0, 0));
  captions_[1]->SetTitle(QStringLiteral("Categories"), QColor(0, 191, 0));
  captions_[2]->SetTitle(QStringLiteral("Derivation"), QColor(255, 127, 0));
  captions_[3]->SetTitle(QStringLiteral("Workspace"), QColor(255, 0, 255));
  captions_[4]->SetTitle(QStringLiteral("References"), QColor(255, 0, 127));
  captions_[5]->SetTitle(QStringLiteral("Subject index"), QColor(0, 127, 127));

  // Let the splitters shrink any pane to nothing, as the proportions demand.
  for (QSplitter* s : {outer_, quotationColumn_, categoryColumn_, rightColumn_, lists_,
                       referenceColumn_, subjectColumn_})
    for (int i = 0; i < s->count(); ++i) s->widget(i)->setMinimumSize(1, 1);

  // The two list columns share their rows, as cells of one splitter would.
  connect(referenceColumn_, &QSplitter::splitterMoved, this,
          [this] { subjectColumn_->setSizes(referenceColumn_->sizes()); });
  connect(subjectColumn_, &QSplitter::splitterMoved, this,
          [this] { referenceColumn_->setSizes(subjectColumn_->sizes()); });

  for (QWidget* w :
       {static_cast<QWidget*>(quotations_), static_cast<QWidget*>(categories_),
        static_cast<QWidget*>(&Derivation()), static_cast<QWidget*>(&References()),
        static_cast<QWidget*>(&Subjects().Edit()), static_cast<QWidget*>(&Subjects().ListView()),
        static_cast<QWidget*>(workspace_)})
    AcceleratorGuard::Instance().Guard(w);

  // What moving through the panes does to the others.
  connect(quotations_, &TreeView::currentNodeChanged, this, &PaneSet::QuotationSelectionChanged);
  connect(quotations_, &TreeView::nodeDoubleClicked, this, &PaneSet::QuotationDoubleClick);
  connect(categories_, &TreeView::currentNodeChanged, this, &PaneSet::CategorySelectionChanged);
  connect(categories_, &TreeView::nodeDoubleClicked, this, &PaneSet::CategoryDoubleClick);
  connect(&References(), &CLocalRef::lineDoubleClicked, this, &PaneSet::ReferenceDoubleClick);
  connect(&Subjects(), &CSubjCombo::entryDoubleClicked, this, &PaneSet::SubjectDoubleClick);

  connect(qApp, &QApplication::focusChanged, this,
          [this](QWidget*, QWidget* now) { FocusChanged(now); });
}

std::vector<QWidget*> PaneSet::FontBearingWindows() const {
  return {quotations_, categories_,   workspace_, derivView_, &Derivation(),
          refView_,    &References(), subjView_,  &Subjects()};
}

void PaneSet::SetPaneFont(const QFont& font) {
  for (QWidget* window : FontBearingWindows()) window->setFont(font);
  // The subject index's edit field and list are the combo box's own parts.
  Subjects().Edit().setFont(font);
  Subjects().ListView().setFont(font);
}

void PaneSet::ApplyLayout(int w, int h) {
  const int c = CTitle::CaptionHeight();
  const int c5 = w / 5;
  const int c35 = c5 * 3;
  const int cr = c35 / 2;
  const int cs = cr / 2;
  const int h2 = h / 2;
  // Outer first: the inner splitters fit into the space it gives them.
  outer_->setSizes(Fit({c5, c5, c35}, *outer_));
  quotationColumn_->setSizes(Fit({c, h - c}, *quotationColumn_));
  categoryColumn_->setSizes(Fit({c, h - c}, *categoryColumn_));
  rightColumn_->setSizes(Fit({h2, c, h / 5 - c, c, (h * 3) / 10 - c}, *rightColumn_));
  lists_->setSizes(Fit({cr, cs}, *lists_));
  referenceColumn_->setSizes(Fit({c, h2 - c}, *referenceColumn_));
  subjectColumn_->setSizes(Fit({c, h2 - c}, *subjectColumn_));
}

void PaneSet::FocusChanged(QWidget* now) {
  const std::pair<QWidget*, Pane> panes[] = {
      {quotations_, Pane::kQuotations}, {categories_, Pane::kCategories},
      {refView_, Pane::kReferences},    {subjView_, Pane::kSubjectIndex},
      {derivView_, Pane::kDerivation},  {workspace_, Pane::kWorkspace}};
  for (QWidget* w = now; w; w = w->parentWidget()) {
    for (const auto& [widget, pane] : panes) {
      if (w == widget) {
        if (pane == Pane::kQuotations) lastTree_ = Tree::kQuotations;
        if (pane == Pane::kCategories) lastTree_ = Tree::kCategories;
        if (active_ != pane) {
          active_ = pane;
          emit activePaneChanged();
        }
        return;
      }
    }
  }
}

void PaneSet::QuotationSelectionChanged() {
  selectedQuotation = quotations_->GetCurrentItem();
  // A tree without a current node (empty, or its last node just deleted)
  // leaves nothing to highlight; the Workspace keeps its text.
  quotations_->SetDropHighlight(selectedQuotation);
  findReference.Clear();
}

void PaneSet::QuotationDoubleClick() {
  selectedQuotation = quotations_->GetCurrentItem();
  if (!selectedQuotation) return;
  ShowQuotationNode(selectedQuotation);
  quotations_->SetDropHighlight(selectedQuotation);
}

void PaneSet::ShowQuotationNode(HTREEITEM node) {
  if (!node) return;
  const TreeStore& tree = db_.quotations;
  workspace_->Load(FromDb(tree.GetItemText(node), db_.encoding), WorkspaceSource::kQuotationNode);
  CDerivation& derivation = Derivation();
  derivation.ResetContent();
  for (HTREEITEM p = tree.GetParentItem(node); p; p = tree.GetParentItem(p))
    derivation.InsertString(0, FromDbShown(tree.GetItemText(p), db_.encoding, kPaneLineLimit));
}

void PaneSet::CategorySelectionChanged() {
  selectedCategory = categories_->GetCurrentItem();
  References().ResetContent();
  if (!selectedCategory) {
    // No current category: nothing to show, and no record to read.
    categories_->SetDropHighlight(nullptr);
    Derivation().ResetContent();
    return;
  }
  categories_->SetDropHighlight(selectedCategory);
  ShowCategoryReferences(selectedCategory);
}

void PaneSet::CategoryDoubleClick() {
  selectedCategory = categories_->GetCurrentItem();
  if (!selectedCategory) {
    References().ResetContent();
    Derivation().ResetContent();
    return;
  }
  ShowCategoryReferences(selectedCategory);
  workspace_->Load(FromDb(db_.categories.GetItemText(selectedCategory), db_.encoding),
                   WorkspaceSource::kCategory);
  categories_->SetDropHighlight(selectedCategory);
}

void PaneSet::ShowCategoryReferences(HTREEITEM category) {
  References().ResetContent();
  Derivation().ResetContent();
  if (!category) return;
  categories_->SetDropHighlight(category);
  if (const CategoryRecord* record = db_.Record(category)) FillReferences(*record);
}

void PaneSet::FillReferences(const CategoryRecord& record) {
  CLocalRef& references = References();
  references.ResetContent();
  for (size_t i = 0; i < record.referenceTexts.size(); ++i) {
    const int line = static_cast<int>(i);
    references.InsertString(line,
                            FromDbShown(record.referenceTexts[i], db_.encoding, kPaneLineLimit));
    references.SetItemData(line, record.referenceTargets[i]);
  }
}

void PaneSet::ReferenceDoubleClick() {
  const int line = References().GetCurSel();
  if (line < 0) return;
  HTREEITEM target = References().GetItemData(line);
  if (!target) return;
  quotations_->SetDropHighlight(target);
  quotations_->SelectItem(target);
  ShowQuotationNode(target);
}

void PaneSet::SubjectDoubleClick() {
  const int entry = Subjects().GetCurSel();
  if (entry < 0) return;
  if (HTREEITEM category = Subjects().GetItemData(entry)) categories_->SelectItem(category);
}

}  // namespace lorelist
