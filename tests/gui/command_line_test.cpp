#include "app/command_line.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace lorelist::test {
namespace {

StartRequest Parse(std::initializer_list<QString> words) {
  QStringList arguments{QStringLiteral("lorelist")};
  arguments.append(QStringList(words));
  return ParseCommandLine(arguments);
}

TEST(CommandLine, AFolderOrAPathToItsFlorilexTxtNamesTheDatabasesFolder) {
  TempDir dir;
  const QString folder = QString::fromStdString(dir.path());
  EXPECT_EQ(Parse({}).folder, "");  // none named: the start rules choose
  EXPECT_EQ(Parse({folder}).folder, dir.path());
  // The file need not exist yet: loading says it cannot be opened, by its path.
  const StartRequest file = Parse({folder + QStringLiteral("/Florilex.txt")});
  EXPECT_EQ(file.action, StartRequest::kRun);
  EXPECT_EQ(file.folder, dir.path());
  EXPECT_EQ(Parse({QStringLiteral("Florilex.txt")}).folder, ".");
  // Qt's own options go on to the application.
  const StartRequest qt = Parse({QStringLiteral("-platform"), QStringLiteral("offscreen"), folder});
  EXPECT_EQ(qt.action, StartRequest::kRun);
  EXPECT_EQ(qt.folder, dir.path());
  EXPECT_EQ(Parse({QStringLiteral("-h")}).action, StartRequest::kHelp);
  EXPECT_EQ(Parse({QStringLiteral("--version")}).action, StartRequest::kVersion);
  EXPECT_EQ(Parse({QStringLiteral("--"), QStringLiteral("--version")}).action,
            StartRequest::kRefused);  // a folder of that name, which is not there
}

}  // namespace
}  // namespace lorelist::test
