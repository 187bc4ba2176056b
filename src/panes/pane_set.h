#pragma once

#include <QFont>
#include <QObject>
#include <array>
#include <optional>
#include <vector>

#include "db/database.h"
#include "list_panes.h"
#include "title.h"
#include "tree_views.h"
#include "workspace.h"

class QSplitter;

namespace lorelist {

// Where Find Reference goes on from: a category and the index of its last
// reference found, or nothing (a fresh pass).
struct FindReferencePosition {
  HTREEITEM category = nullptr;
  int index = -1;
  void Clear() { *this = FindReferencePosition{}; }
  bool IsClear() const { return category == nullptr; }
};

// The six captioned panes in their nested splitters, the selection state the
// commands work on, and how moving through the panes drives the others.
class PaneSet : public QObject {
  Q_OBJECT

 public:
  enum class Pane {
    kNone,
    kQuotations,
    kCategories,
    kReferences,
    kSubjectIndex,
    kDerivation,
    kWorkspace
  };

  PaneSet(Database& db, QWidget* parent);

  // The outermost splitter, to be the main window's central widget.
  QSplitter& Root() const { return *outer_; }

  QuoteTree& Quotations() const { return *quotations_; }
  CCatTree& Categories() const { return *categories_; }
  CDerivView& DerivView() const { return *derivView_; }
  CDerivation& Derivation() const { return derivView_->List(); }
  CLocalRefVw& RefView() const { return *refView_; }
  CLocalRef& References() const { return refView_->List(); }
  CSubjVw& SubjView() const { return *subjView_; }
  CSubjCombo& Subjects() const { return subjView_->Combo(); }
  CReference& Workspace() const { return *workspace_; }
  // The captions: Quotations, Categories, Derivation, Workspace, References,
  // Subject index.
  const std::array<CTitle*, 6>& Captions() const { return captions_; }
  Database& Db() const { return db_; }

  // The node every quotation command works on, and every category command.
  HTREEITEM selectedQuotation = nullptr;
  HTREEITEM selectedCategory = nullptr;
  FindReferencePosition findReference;

  // The pane last given the focus by the user; kNone until then.
  Pane ActivePane() const { return active_; }
  // The tree pane that last had the focus, if one had.
  std::optional<Tree> LastTree() const { return lastTree_; }

  // Sets the pane font on the nine font-bearing windows, in their order.
  void SetPaneFont(const QFont& font);
  // The windows that carry the pane font, in the order they get it.
  std::vector<QWidget*> FontBearingWindows() const;

  // Re-applies the proportional layout for a window client area of W by H
  // (toolbar strip included).
  void ApplyLayout(int width, int height);

  // What moving through the panes does.
  void QuotationSelectionChanged();
  void QuotationDoubleClick();
  void ShowQuotationNode(HTREEITEM node);
  void CategorySelectionChanged();
  void CategoryDoubleClick();
  void ShowCategoryReferences(HTREEITEM category);
  // Refills the References pane from a record, no line highlighted.
  void FillReferences(const CategoryRecord& record);
  void ReferenceDoubleClick();
  void SubjectDoubleClick();

 signals:
  void activePaneChanged();

 private:
  void FocusChanged(QWidget* now);

  Database& db_;
  QSplitter* outer_;
  QSplitter* quotationColumn_;
  QSplitter* categoryColumn_;
  QSplitter* rightColumn_;
  QSplitter* lists_;
  QSplitter* referenceColumn_;
  QSplitter* subjectColumn_;
  QuoteTree* quotations_;
  CCatTree* categories_;
  CDerivView* derivView_;
  CLocalRefVw* refView_;
  CSubjVw* subjView_;
  CReference* workspace_;
  std::array<CTitle*, 6> captions_{};
  Pane active_ = Pane::kNone;
  std::optional<Tree> lastTree_;
};

}  // namespace lorelist
