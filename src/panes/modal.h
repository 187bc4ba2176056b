#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QDialog;
class QTextDocument;
class QWidget;

namespace lorelist {

class MergePlan;

// Every modal interaction of the program goes through here: message boxes,
// questions, dialogs and the font chooser. Tests install a scripted stand-in
// that answers without a person and without blocking.
class Modal {
 public:
  enum class Icon { kInformation, kWarning, kCritical, kQuestion };
  enum class Answer { kYes, kNo, kCancel };

  virtual ~Modal() = default;

  // A message with an OK button, caption "Lorelist".
  virtual void Message(QWidget* parent, const QString& text, Icon icon) = 0;
  // A question with Yes and No, or Yes, No and Cancel; Yes is the default.
  virtual Answer Ask(QWidget* parent, const QString& text, bool withCancel) = 0;
  // A question with buttons of its own, named so that each says what it
  // does; the first is the default. Returns the index of the button
  // chosen, or `escape` when the question is closed without one.
  virtual int Choose(QWidget* parent, const QString& text, const QStringList& buttons,
                     int escape) = 0;
  // Runs a dialog modally; returns its result (QDialog::Accepted or Rejected).
  virtual int Run(QDialog& dialog) = 0;
  // Runs the merge view the caller made on the plan: true for OK, which
  // leaves the plan's changes taken as the user set them.
  virtual bool ReviewMerge(QDialog& view, MergePlan& plan) = 0;
  // The font chooser, opened on `initial`; false when cancelled.
  virtual bool ChooseFont(QWidget* parent, const QFont& initial, QFont& chosen) = 0;
  // The file chooser for a file to write, opened in `folder` on the name
  // `suggested`; the path chosen, or empty when cancelled.
  virtual QString ChooseFileToWrite(QWidget* parent, const QString& caption, const QString& folder,
                                    const QString& suggested, const QString& filter) = 0;
  // The chooser of a dictionary: a folder (where one can be made too), or
  // with `file` set an existing file; the path chosen, or empty.
  virtual QString ChooseToOpen(QWidget* parent, const QString& caption, const QString& folder,
                               bool file) = 0;

  // The print preview of a document, from which the user prints it.
  virtual void Print(QWidget* parent, QTextDocument& document) = 0;

  // The one in use: the real, blocking one unless a test installed another.
  static Modal& Current();
  // Installs a stand-in (nullptr: back to the real one).
  static void Install(Modal* modal);
  // The real one, whatever is installed.
  static Modal& Real();
};

// One rule for every message box: a refusal or an error shows a warning, a
// result (a count, "String not found") an information sign; questions go
// through Ask.
inline void Warn(QWidget* parent, const QString& text) {
  Modal::Current().Message(parent, text, Modal::Icon::kWarning);
}
inline void Tell(QWidget* parent, const QString& text) {
  Modal::Current().Message(parent, text, Modal::Icon::kInformation);
}

// The caption of every message box.
inline const char* const kAppTitle = "Lorelist";

}  // namespace lorelist
