#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "app/command_table.h"
#include "db/save.h"
#include "frame_fixture.h"

namespace lorelist::test {
namespace {

class ExportPrintTest : public FrameTest {
 protected:
  // What lorelist-db export writes for the same file, run in its folder.
  std::string CommandLineExport(const char* format) {
    const std::string out = dir.File(std::string("cli.") + format);
    const std::string command =
        "cd " + dir.path() + " && " + LORELIST_DB_BINARY + " export --" + format + " -o " + out;
    EXPECT_EQ(std::system(command.c_str()), 0);
    return ReadFile(out);
  }
  // The names in the folder now.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(ExportPrintTest, TheFileMenuExportsWhatTheCommandLineExports) {
  Open();
  for (const char* format : {"html", "markdown"}) {
    SCOPED_TRACE(format);
    const std::string path = dir.File(std::string("window.") + format);
    modal.files = {QString::fromStdString(path)};
    frame->Action(std::string(format) == "html" ? cmd::kExportHtml : cmd::kExportMarkdown)
        ->trigger();
    EXPECT_TRUE(modal.Messages().empty());
    const std::string exported = ReadFile(path);
    EXPECT_GT(exported.size(), 1000u);
    EXPECT_EQ(exported, CommandLineExport(format));
  }
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1 - Unchanged");

  // Cancelled: nothing; onto the database itself: refused.
  const std::vector<std::string> before = Names();
  modal.files = {std::nullopt, QString::fromStdString(dir.File(kDatabaseFile))};
  frame->Action(cmd::kExportHtml)->trigger();
  frame->Action(cmd::kExportMarkdown)->trigger();
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"That is the database file itself: Save "
                                                   "writes it, with its backup."});
  EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)), kGuiSample);
  EXPECT_EQ(Names(), before);

  // A folder that cannot be written: the reason, and no file.
  modal.files = {QString::fromStdString(dir.File("no/such/folder/out.html"))};
  frame->Action(cmd::kExportHtml)->trigger();
  ASSERT_EQ(modal.Messages().size(), 2u);
  EXPECT_EQ(modal.Messages()[1],
            QString::fromStdString("Cannot write " + dir.File("no/such/folder/out.html") +
                                   ": No such file or directory"));
}

TEST_F(ExportPrintTest, TheRealFileChooserOffersTheFolderAndAName) {
  Open();
  modal.realFileChooser = true;
  QString openedIn, suggested;
  QTimer::singleShot(0, [&] {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(chooser, nullptr);
    QTimer::singleShot(20000, chooser, [chooser] { chooser->reject(); });
    openedIn = chooser->directory().absolutePath();
    auto* edit = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    suggested = edit->text();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("the dictionary.md"));
    if (edit->completer() && edit->completer()->popup()->isVisible())
      QTest::keyClick(edit->completer()->popup(), Qt::Key_Escape);
    QTest::keyClick(edit, Qt::Key_Return);
  });
  frame->Action(cmd::kExportMarkdown)->trigger();
  EXPECT_EQ(openedIn.toStdString(), std::filesystem::canonical(dir.path()).string());
  EXPECT_EQ(suggested, "Florilex.md");
  EXPECT_EQ(ReadFile(dir.File("the dictionary.md")), CommandLineExport("markdown"));
}

TEST_F(ExportPrintTest, PrintShowsThePrintableDictionaryInThePreview) {
  Open();
  const std::string pdf = dir.File("printed.pdf");
  modal.printPdf = QString::fromStdString(pdf);
  frame->Action(cmd::kPrint)->trigger();
  ASSERT_EQ(modal.shown.size(), 1u);
  EXPECT_EQ(modal.shown[0].kind, "print");
  EXPECT_TRUE(modal.shown[0].hadParent);
  const std::string bytes = ReadFile(pdf);
  ASSERT_EQ(bytes.rfind("%PDF-", 0), 0u);
  // A page of contents and the dictionary after it.
  size_t pages = 0;
  for (size_t at = bytes.find("/Type /Page\n"); at != std::string::npos;
       at = bytes.find("/Type /Page\n", at + 1))
    ++pages;
  EXPECT_GE(pages, 2u);
}

}  // namespace
}  // namespace lorelist::test
