#pragma once

#include <QStyledItemDelegate>

namespace lorelist {

// Paints each item's text in its own direction: one whose first strong
// character is Hebrew or Arabic reads right to left and stands at the
// item's right edge; any other as the view lays it out.
class TextDirectionDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    // The style mirrors a leading alignment along with the direction.
    if (option->text.isRightToLeft()) option->direction = Qt::RightToLeft;
  }
};

}  // namespace lorelist
