#pragma once

#include <QAbstractItemView>
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
    if (!option->text.isRightToLeft()) return;
    option->direction = Qt::RightToLeft;
    // In a view wider than the pane (a long line elsewhere), its right edge
    // is the pane's, not the far end of the widest line, out of sight.
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option->widget)) {
      const int visible = view->viewport()->width() - 1;
      if (option->rect.right() > visible && option->rect.left() < visible)
        option->rect.setRight(visible);
    }
  }
};

}  // namespace lorelist
