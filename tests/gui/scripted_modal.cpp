#include "scripted_modal.h"

#include <gtest/gtest.h>

#include <QPrinter>
#include <QTextDocument>

namespace lorelist::test {

void ScriptedModal::Message(QWidget* parent, const QString& text, Icon icon) {
  shown.push_back({"message", text, parent != nullptr, icon, parent});
  if (onMessage) onMessage(text);
}

Modal::Answer ScriptedModal::Ask(QWidget* parent, const QString& text, bool withCancel) {
  shown.push_back({"question", text, parent != nullptr});
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << text.toStdString();
    return withCancel ? Answer::kCancel : Answer::kNo;
  }
  Answer answer = answers.front();
  answers.pop_front();
  return answer;
}

int ScriptedModal::Choose(QWidget* parent, const QString& text, const QStringList& buttons,
                          int escape) {
  shown.push_back({"question", text, parent != nullptr, Icon::kQuestion, parent});
  choiceButtons.push_back(buttons);
  if (choices.empty()) {
    ADD_FAILURE() << "unexpected question: " << text.toStdString();
    return escape;
  }
  const QString choice = choices.front();
  choices.pop_front();
  const qsizetype chosen = buttons.indexOf(choice);
  if (chosen < 0)
    ADD_FAILURE() << "no button " << choice.toStdString() << " in: " << text.toStdString();
  return chosen < 0 ? escape : static_cast<int>(chosen);
}

int ScriptedModal::Run(QDialog& dialog) {
  shown.push_back({"dialog", dialog.windowTitle(), dialog.parentWidget() != nullptr});
  dialog.setResult(QDialog::Rejected);
  dialog.show();
  if (dialogScripts.empty()) {
    ADD_FAILURE() << "unexpected dialog: " << dialog.windowTitle().toStdString();
  } else {
    auto script = std::move(dialogScripts.front());
    dialogScripts.pop_front();
    script(dialog);
  }
  if (dialog.isVisible()) dialog.reject();
  return dialog.result();
}

bool ScriptedModal::ReviewMerge(QDialog& view, MergePlan& plan) {
  shown.push_back({"merge", view.windowTitle(), view.parentWidget() != nullptr});
  if (mergeScripts.empty()) return true;
  const auto script = std::move(mergeScripts.front());
  mergeScripts.pop_front();
  return script(plan);
}

bool ScriptedModal::ChooseFont(QWidget* parent, const QFont& initial, QFont& chosen) {
  shown.push_back({"font", initial.family(), parent != nullptr});
  fontInitials.push_back(initial);
  if (realFontChooser) return Modal::Real().ChooseFont(parent, initial, chosen);
  if (fonts.empty()) {
    ADD_FAILURE() << "unexpected font chooser";
    return false;
  }
  std::optional<QFont> font = fonts.front();
  fonts.pop_front();
  if (!font) return false;
  chosen = *font;
  return true;
}

QString ScriptedModal::ChooseFileToWrite(QWidget* parent, const QString& caption,
                                         const QString& folder, const QString& suggested,
                                         const QString& filter) {
  shown.push_back({"file", caption, parent != nullptr});
  if (realFileChooser)
    return Modal::Real().ChooseFileToWrite(parent, caption, folder, suggested, filter);
  return NextFile();
}

QString ScriptedModal::ChooseToOpen(QWidget* parent, const QString& caption, const QString& folder,
                                    bool file) {
  shown.push_back({"file", caption, parent != nullptr});
  if (realFileChooser) return Modal::Real().ChooseToOpen(parent, caption, folder, file);
  return NextFile();
}

QString ScriptedModal::NextFile() {
  if (files.empty()) {
    ADD_FAILURE() << "unexpected file chooser";
    return {};
  }
  QString path;
  if (files.front()) path = *files.front();
  files.pop_front();
  return path;
}

void ScriptedModal::Print(QWidget* parent, QTextDocument& document) {
  shown.push_back({"print", QStringLiteral("Print Preview"), parent != nullptr});
  if (printPdf.isEmpty()) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(printPdf);
  document.print(&printer);
}

std::vector<QString> ScriptedModal::Texts(const std::string& kind) const {
  std::vector<QString> texts;
  for (const Shown& s : shown)
    if (s.kind == kind) texts.push_back(s.text);
  return texts;
}

}  // namespace lorelist::test
