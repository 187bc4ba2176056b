#include "modal.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextDocument>
#include <algorithm>
#include <vector>

namespace lorelist {

namespace {

class RealModal : public Modal {
 public:
  void Message(QWidget* parent, const QString& text, Icon icon) override {
    QMessageBox box(ToQt(icon), kAppTitle, text, QMessageBox::Ok, parent);
    box.exec();
  }
  Answer Ask(QWidget* parent, const QString& text, bool withCancel) override {
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel) buttons |= QMessageBox::Cancel;
    QMessageBox box(QMessageBox::Question, kAppTitle, text, buttons, parent);
    box.setDefaultButton(QMessageBox::Yes);
    if (!withCancel) box.setEscapeButton(QMessageBox::No);
    switch (box.exec()) {
      case QMessageBox::Yes:
        return Answer::kYes;
      case QMessageBox::No:
        return Answer::kNo;
      default:
        return Answer::kCancel;
    }
  }
  int Choose(QWidget* parent, const QString& text, const QStringList& buttons,
             int escape) override {
    QMessageBox box(QMessageBox::Question, kAppTitle, text, QMessageBox::NoButton, parent);
    std::vector<QAbstractButton*> made;
    for (qsizetype i = 0; i < buttons.size(); ++i) {
      // Roles put them in the platform's order: the default one where the
      // platform puts OK, the escape one where it puts Cancel.
      const QMessageBox::ButtonRole role = i == 0        ? QMessageBox::AcceptRole
                                           : i == escape ? QMessageBox::RejectRole
                                                         : QMessageBox::DestructiveRole;
      made.push_back(box.addButton(buttons[i], role));
    }
    box.setDefaultButton(qobject_cast<QPushButton*>(made.front()));
    if (escape >= 0 && escape < static_cast<int>(made.size())) box.setEscapeButton(made[escape]);
    box.exec();
    const auto chosen = std::find(made.begin(), made.end(), box.clickedButton());
    return chosen == made.end() ? escape : static_cast<int>(chosen - made.begin());
  }
  int Run(QDialog& dialog) override { return dialog.exec(); }
  bool ReviewMerge(QDialog& view, MergePlan&) override { return view.exec() == QDialog::Accepted; }
  bool ChooseFont(QWidget* parent, const QFont& initial, QFont& chosen) override {
    bool ok = false;
    QFont font = QFontDialog::getFont(&ok, initial, parent, QString());
    if (ok) chosen = font;
    return ok;
  }
  QString ChooseFileToWrite(QWidget* parent, const QString& caption, const QString& folder,
                            const QString& suggested, const QString& filter) override {
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(QDir(folder).filePath(suggested));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
  }
  QString ChooseToOpen(QWidget* parent, const QString& caption, const QString& folder,
                       bool file) override {
    QFileDialog dialog(parent, caption, folder);
    if (file) {
      dialog.setFileMode(QFileDialog::ExistingFile);
      dialog.setNameFilters(
          {QStringLiteral("Dictionaries (Florilex.txt)"), QStringLiteral("All files (*)")});
    } else {
      dialog.setFileMode(QFileDialog::Directory);
      dialog.setOption(QFileDialog::ShowDirsOnly);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
  }
  void Print(QWidget* parent, QTextDocument& document) override {
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog preview(&printer, parent);
    preview.setWindowTitle(QStringLiteral("Print Preview"));
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                     [&document](QPrinter* target) { document.print(target); });
    preview.exec();
  }

 private:
  static QMessageBox::Icon ToQt(Icon icon) {
    switch (icon) {
      case Icon::kInformation:
        return QMessageBox::Information;
      case Icon::kWarning:
        return QMessageBox::Warning;
      case Icon::kCritical:
        return QMessageBox::Critical;
      case Icon::kQuestion:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
  }
};

Modal* installed = nullptr;

}  // namespace

Modal& Modal::Real() {
  static RealModal real;
  return real;
}

Modal& Modal::Current() {
  return installed ? *installed : Real();
}

void Modal::Install(Modal* modal) {
  installed = modal;
}

}  // namespace lorelist
