// Save failing at every stage, seen from the window: the message names the
// file and the reason, nothing else changes, and the next save completes.

#include "app/command_table.h"
#include "frame_fixture.h"
#include "support/injected_ops.h"

namespace lorelist::test {
namespace {

struct Failure {
  InjectedOps::Step step;
  size_t bytes;
  int error;
  const char* message;
};

class SaveFailureTest : public FrameTest {};

TEST_F(SaveFailureTest, EveryStageReportsAndKeepsTheFileTheFlagAndTheTitle) {
  const Failure failures[] = {
      {InjectedOps::kCreate, 0, EACCES, "Cannot open file LorTemp.BK!: Permission denied"},
      {InjectedOps::kWrite, 0, ENOSPC, "Cannot write LorTemp.BK!: No space left on device"},
      {InjectedOps::kWrite, 1, ENOSPC, "Cannot write LorTemp.BK!: No space left on device"},
      {InjectedOps::kWrite, 300, EIO, "Cannot write LorTemp.BK!: Input/output error"},
      // The file is 353 bytes: the last one fails.
      {InjectedOps::kWrite, 352, EDQUOT, "Cannot write LorTemp.BK!: Disk quota exceeded"},
      {InjectedOps::kSync, 0, EIO, "Cannot write LorTemp.BK!: Input/output error"},
      {InjectedOps::kClose, 0, EIO, "Cannot write LorTemp.BK!: Input/output error"},
      {InjectedOps::kRename, 0, EXDEV,
       "Cannot rename LorTemp.BK! to Florilex.txt: Invalid cross-device link"},
      {InjectedOps::kRenameBoth, 0, EROFS,
       "Cannot rename LorTemp.BK! to Florilex.txt: Read-only file system"},
  };
  Open();
  DoubleClick(Panes().Quotations(), Quotation("2"));
  Panes().Workspace().SetText("Pascal, Blaise");
  QTest::keyClick(frame.get(), Qt::Key_K, Qt::ControlModifier);
  const QString changedTitle = frame->windowTitle();
  ASSERT_EQ(changedTitle, "Lorelist Version 1.1");
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.message);
    InjectedOps ops;
    ops.step = f.step;
    ops.bytesBeforeFailure = f.bytes;
    ops.error = f.error;
    frame->SetFileOps(ops);
    modal.shown.clear();
    QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
    // The database file by its full path.
    std::string expected = f.message;
    if (const size_t at = expected.find(" Florilex.txt"); at != std::string::npos)
      expected.replace(at + 1, 12, dir.File("Florilex.txt"));
    EXPECT_EQ(modal.Messages(), std::vector<QString>{QString::fromStdString(expected)});
    EXPECT_EQ(ReadFile(dir.File("Florilex.txt")), kGuiSample);
    EXPECT_TRUE(frame->Db().IsChanged());
    EXPECT_EQ(frame->windowTitle(), changedTitle);
    frame->SetFileOps(SystemFileOps());
  }
  // With the fault gone the rotation completes as ever.
  modal.shown.clear();
  QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(modal.shown.empty());
  EXPECT_EQ(ReadFile(dir.File("FlorilexOld.txt")), kGuiSample);
  EXPECT_NE(ReadFile(dir.File("Florilex.txt")).find("\r\n@Q2 Pascal, Blaise\r\n"),
            std::string::npos);
  EXPECT_FALSE(Exists(dir.File("LorTemp.BK!")));
  EXPECT_EQ(frame->windowTitle(), "Lorelist Version 1.1 - Unchanged");
}

}  // namespace
}  // namespace lorelist::test
