#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPlainTextEdit>

namespace lorelist {

// What the Workspace text was last loaded from.
enum class WorkspaceSource { kNone = 0, kQuotationNode = 1, kCategory = 2 };

// The Workspace: the one free-text editing area, wrapping at the pane's width.
// It never changes the database by itself.
class CReference : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit CReference(QWidget* parent = nullptr);

  WorkspaceSource Source() const { return source_; }
  // Replaces the whole text with a node's text and records where it came from.
  void Load(const QString& text, WorkspaceSource source);
  // Replaces the whole text; the source stays.
  void SetText(const QString& text);
  // The text as shown, every character kept.
  QString GetText() const;
  // Replaces the selection (or inserts at the caret); cannot be undone.
  void ReplaceSelection(const QString& text);
  // Focus, select the whole text, scroll to the caret.
  void SelectAllCommand();

 protected:
  // Cut, Copy and drags carry the selection with every character kept.
  QMimeData* createMimeDataFromSelection() const override;

 private:
  WorkspaceSource source_ = WorkspaceSource::kNone;
};

// Keeps text widgets from claiming the keys of the main window's accelerator
// table, so that every accelerator acts whichever pane has the focus.
class AcceleratorGuard : public QObject {
  Q_OBJECT

 public:
  static AcceleratorGuard& Instance();
  void SetKeys(const QList<QKeySequence>& keys) { keys_ = keys; }
  void Guard(QWidget* widget);
  bool IsAccelerator(const QKeySequence& key) const { return keys_.contains(key); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QList<QKeySequence> keys_;
};

}  // namespace lorelist
