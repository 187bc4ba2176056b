#pragma once

#include <QDialog>
#include <QFont>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "db/merge.h"
#include "panes/modal.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace lorelist::test {

// Answers every modal interaction from a script, records what was shown, and
// never blocks. Installed for its lifetime.
class ScriptedModal : public Modal {
 public:
  struct Shown {
    std::string kind;  // "message", "question", "dialog", "merge", "font", "file"
    QString text;      // the message, question or dialog title
    bool hadParent;
    Icon icon = Icon::kQuestion;  // a message's icon
    // The window the message belongs to: the dialog it refuses in, or the frame.
    QWidget* parent = nullptr;
  };

  ScriptedModal() { Modal::Install(this); }
  ~ScriptedModal() override { Modal::Install(nullptr); }

  std::vector<Shown> shown;
  std::deque<Answer> answers;
  // Each is the button clicked in a question with buttons of its own, by
  // its text.
  std::deque<QString> choices;
  // The buttons of each such question, the default first.
  std::vector<QStringList> choiceButtons;
  // Each settles the plan of a merge view as the user would in it, and
  // returns true for OK; a view with none left is taken as it opened.
  std::deque<std::function<bool(MergePlan&)>> mergeScripts;
  // Each runs on a shown dialog: fills it, clicks its buttons. A dialog still
  // open afterwards is rejected.
  std::deque<std::function<void(QDialog&)>> dialogScripts;
  // Each is the font chosen in the font chooser, or nullopt for Cancel.
  std::deque<std::optional<QFont>> fonts;
  std::vector<QFont> fontInitials;
  // With realFontChooser set, the real font chooser opens (tests drive it).
  bool realFontChooser = false;
  // Each is the path chosen in a file chooser, or nullopt for Cancel; with
  // realFileChooser set, the real chooser opens instead (tests drive it).
  std::deque<std::optional<QString>> files;
  bool realFileChooser = false;
  // Runs when a message is shown.
  std::function<void(const QString&)> onMessage;

  void Message(QWidget* parent, const QString& text, Icon icon) override;
  Answer Ask(QWidget* parent, const QString& text, bool withCancel) override;
  int Choose(QWidget* parent, const QString& text, const QStringList& buttons, int escape) override;
  int Run(QDialog& dialog) override;
  bool ReviewMerge(QDialog& view, MergePlan& plan) override;
  bool ChooseFont(QWidget* parent, const QFont& initial, QFont& chosen) override;
  QString ChooseFileToWrite(QWidget* parent, const QString& caption, const QString& folder,
                            const QString& suggested, const QString& filter) override;
  // From the same script as the choosers of files to write.
  QString ChooseToOpen(QWidget* parent, const QString& caption, const QString& folder,
                       bool file) override;

  // Print: with printPdf set, the document is printed to that PDF file.
  void Print(QWidget* parent, QTextDocument& document) override;
  QString printPdf;

  // The texts of the messages, and of the questions, shown so far.
  std::vector<QString> Messages() const { return Texts("message"); }
  std::vector<QString> Questions() const { return Texts("question"); }

 private:
  QString NextFile();
  std::vector<QString> Texts(const std::string& kind) const;
};

}  // namespace lorelist::test
