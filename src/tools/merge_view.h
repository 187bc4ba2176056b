#pragma once

#include <QDialog>
#include <QString>

#include "db/merge.h"

namespace lorelist {

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

 private:
  MergePlan& plan_;
};

}  // namespace lorelist
