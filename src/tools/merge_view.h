#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "db/merge.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeView;

namespace lorelist {

class MergeModel;

// The merge view: the changes of a merge plan in the dictionary's terms,
// grouped by kind with counts. Those that do not conflict are ticked; each
// conflict shows both sides and asks which to keep (for a text, both as
// well). OK (the default button) leaves the plan's changes taken as shown;
// Cancel leaves them as they were. Making them is the caller's: one Apply.
class CMergeView : public QDialog {
  Q_OBJECT

 public:
  // mine and theirs: the plan's two versions, which its changes' nodes
  // belong to; what: a line that says what is merged.
  CMergeView(MergePlan& plan, const Database& mine, const Database& theirs, const QString& what,
             QWidget* parent = nullptr);
  ~CMergeView() override;

  // The columns of the list: where the change is, what mine and theirs
  // hold there, and a conflict's answer.
  enum Column { kWhere, kMine, kTheirs, kKeep, kColumns };

  QTreeView& Changes() const { return *view_; }
  QLabel& Summary() const { return *summary_; }
  // The current row whole: where, mine, theirs, and what a conflict is.
  QPlainTextEdit& Detail() const { return *detail_; }
  QPushButton& OkButton() const { return *ok_; }
  QPushButton& CancelButton() const { return *cancel_; }

  void accept() override;

 private:
  MergePlan& plan_;
  std::unique_ptr<MergeModel> model_;
  QTreeView* view_;
  QLabel* summary_;
  QPlainTextEdit* detail_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace lorelist
