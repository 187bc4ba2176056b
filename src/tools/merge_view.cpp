#include "merge_view.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace lorelist {

CMergeView::CMergeView(MergePlan& plan, const Database&, const Database&, const QString& what,
                       QWidget* parent)
    : QDialog(parent), plan_(plan) {
  setWindowTitle(QStringLiteral("Merge"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(what, this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

CMergeView::~CMergeView() = default;

}  // namespace lorelist
