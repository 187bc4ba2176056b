#include "workspace.h"

#include <QKeyEvent>
#include <QMimeData>

#include "text.h"

namespace lorelist {

CReference::CReference(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setTabChangesFocus(false);
  FollowTextDirection(*this);
}

void CReference::Load(const QString& text, WorkspaceSource source) {
  setPlainText(text);
  source_ = source;
}

void CReference::SetText(const QString& text) {
  setPlainText(text);
}

QString CReference::GetText() const {
  return EditorText(*this);
}

QMimeData* CReference::createMimeDataFromSelection() const {
  // Qt's own gives the selection as plain text with no-break spaces made
  // blanks; its rich text is of no use to a text kept as plain bytes.
  auto* data = new QMimeData;
  data->setText(WithLineBreaks(textCursor().selectedText()));
  return data;
}

void CReference::ReplaceSelection(const QString& text) {
  // Turning undo off and on forgets the history: the insertion cannot be undone.
  setUndoRedoEnabled(false);
  insertPlainText(text);
  setUndoRedoEnabled(true);
}

void CReference::SelectAllCommand() {
  setFocus(Qt::ShortcutFocusReason);
  selectAll();
  ensureCursorVisible();
}

AcceleratorGuard& AcceleratorGuard::Instance() {
  static AcceleratorGuard guard;
  return guard;
}

void AcceleratorGuard::Guard(QWidget* widget) {
  widget->installEventFilter(this);
}

bool AcceleratorGuard::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    QKeySequence sequence(key->keyCombination());
    if (IsAccelerator(sequence)) {
      // Not accepted: the widget does not take the key, the shortcut runs.
      event->ignore();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace lorelist
