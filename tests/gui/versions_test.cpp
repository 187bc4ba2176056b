// Other versions of the dictionary met by the window: the file changed
// outside it, Save's Merge (and the close guard's), conflict copies left by
// sync services, Merge Dictionary and Earlier Versions. Each flow ends in a
// save compared byte for byte.

#include "app/command_table.h"
#include "frame_fixture.h"

namespace lorelist::test {
namespace {

// The sample with each line `from` replaced by `to` (an empty `to` removes it).
std::string Edited(std::vector<std::pair<std::string, std::string>> changes,
                   std::string file = kGuiSample) {
  for (const auto& [from, to] : changes) {
    const size_t at = file.find(from + "\r\n");
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) file.replace(at, from.size() + 2, to.empty() ? "" : to + "\r\n");
  }
  return file;
}

class VersionsTest : public FrameTest {
 protected:
  // A node's text replaced from the Workspace, as a user does it.
  void EditText(const std::string& code, const QString& text) {
    DoubleClick(Panes().Quotations(), Quotation(code));
    Panes().Workspace().SetText(text);
    Keys(Qt::Key_K);
  }
  // Another program writes the file; the window hears of it.
  void WriteOutside(const std::string& bytes, const QString& said) {
    WriteFile(dir.File(kDatabaseFile), bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->StatusLine().contains(said); }, 20000))
        << said.toStdString();
  }
  // The versions kept so far are all written.
  void Kept() { frame->History().Wait(); }
};

TEST_F(VersionsTest, AFileChangedOutsideIsLoadedAgainWhereTheWindowHasNoEdits) {
  Open();
  Kept();
  Click(Panes().Quotations(), Quotation("2.1.1"));
  const int shown = Panes().Quotations().verticalScrollBar()->value();
  Panes().Workspace().setFocus();
  Type(&Panes().Workspace(), "A draft");
  // The note above it gone: the node selected stands one place higher.
  const std::string outside = Edited({{"@Q1.1.1.1 A note three levels deep", ""},
                                      {"@R1.1.1.1 deep", ""},
                                      {"@Q2 Pascal", "@Q2 Blaise Pascal"}});
  WriteOutside(outside, "loaded again");
  EXPECT_TRUE(modal.shown.empty());
  EXPECT_EQ(frame->windowTitle(), kUnchanged);
  EXPECT_EQ(WrittenDatabase(frame->Db()), outside);
  TreeView& quotations = Panes().Quotations();
  EXPECT_EQ(quotations.GetCurrentItem(), Quotation("2.1.1"));
  EXPECT_TRUE(quotations.isExpanded(quotations.Model().IndexOf(Quotation("2.1"))));
  EXPECT_EQ(quotations.verticalScrollBar()->value(), shown);
  EXPECT_FALSE(frame->MergeNowButton()->isVisibleTo(frame.get()));
  EXPECT_EQ(Panes().Workspace().GetText(), "A draft");
  // The file loaded again is the one saved over, without a question.
  DeleteFirstReference("1");
  EXPECT_EQ(SavedFile(), Edited({{"@R1.1.1 the motto", ""}}, outside));
  EXPECT_TRUE(modal.Questions().empty());
  Kept();
  EXPECT_EQ(frame->History().Versions().size(), 3u);
}

// Without conflicts the merge is made and saved at once and a report says
// what came in; the window's own edit and theirs are both in the file.
TEST_F(VersionsTest, SavesMergeTakesTheirChangesBesideTheWindowsEdits) {
  Open();
  Kept();
  DeleteFirstReference("1");
  WriteOutside(Edited({{"@Q2 Pascal", "@Q2 Blaise Pascal"}}), "unsaved edits");
  EXPECT_TRUE(frame->MergeNowButton()->isVisibleTo(frame.get()));
  modal.choices = {"Merge"};
  EXPECT_EQ(SavedFile(), Edited({{"@Q2 Pascal", "@Q2 Blaise Pascal"}, {"@R1.1.1 the motto", ""}}));
  EXPECT_EQ(modal.Questions(), std::vector<QString>{kChangedOutsideQuestion});
  EXPECT_EQ(modal.choiceButtons.back(), (QStringList{"Merge", "Yes", "No"}));
  EXPECT_EQ(modal.Messages(), std::vector<QString>{"The changes made to Florilex.txt outside "
                                                   "this window were merged and saved: 1 text "
                                                   "changed."});
  EXPECT_EQ(frame->windowTitle(), kUnchanged);
  EXPECT_FALSE(frame->MergeNowButton()->isVisibleTo(frame.get()));
  EXPECT_EQ(frame->Db().UndoName(), "Merge");
}

// With a conflict the merge view opens, here taken as it opened (this
// window's text kept), through the close guard's save.
TEST_F(VersionsTest, TheCloseGuardsMergeShowsAConflictInTheMergeView) {
  Open();
  Kept();
  EditText("2", "Mine");
  WriteOutside(Edited({{"@Q2 Pascal", "@Q2 Theirs"}, {"@Q1 Montaigne", "@Q1 Michel de Montaigne"}}),
               "unsaved edits");
  modal.answers = {Modal::Answer::kYes};
  modal.mergeScripts.push_back([](MergePlan& plan) {
    EXPECT_EQ(plan.Conflicts(), 1u);
    return true;
  });
  modal.choices = {"Merge"};
  frame->OnCommand(cmd::kExit);
  EXPECT_FALSE(frame->isVisible());
  EXPECT_EQ(ReadFile(dir.File(kDatabaseFile)),
            Edited({{"@Q2 Pascal", "@Q2 Mine"}, {"@Q1 Montaigne", "@Q1 Michel de Montaigne"}}));
  ASSERT_EQ(modal.shown.size(), 4u);
  EXPECT_EQ(modal.shown[2].kind, "merge");
}

// Copies that sync services left are offered at start, a dictionary each;
// Later asks again at the next start; a merge saved renames its copy.
TEST_F(VersionsTest, ConflictCopiesAreOfferedMergedSavedAndSetAside) {
  Open();
  Kept();
  TearDown();  // the version both copies come from is kept
  const std::string syncthing = "Florilex.sync-conflict-20260110-101500-ABCD3FG.txt";
  const std::string nextcloud = "Florilex (conflicted copy 2026-01-10 101500).txt";
  WriteFile(dir.File(syncthing), Edited({{"@Q2 Pascal", "@Q2 Blaise Pascal"}}));
  WriteFile(dir.File(nextcloud), Edited({{"@Sdoubt", ""}}));
  WriteFile(dir.File("Florilex-NOTES.txt"), "not a dictionary\r\n");
  modal.choices = {"Later", "Merge"};
  Reopen();
  ASSERT_EQ(modal.Questions().size(), 2u);
  EXPECT_TRUE(modal.Questions()[1].startsWith("Syncthing left a copy of Florilex.txt beside it"));
  EXPECT_EQ(modal.choiceButtons.back(), (QStringList{"Merge", "Later"}));
  EXPECT_EQ(SavedFile(), Edited({{"@Q2 Pascal", "@Q2 Blaise Pascal"}}));
  const std::string set = "Florilex.sync-conflict-20260110-101500-ABCD3FG.merged.txt";
  EXPECT_TRUE(Names().count(set) && !Names().count(syncthing));
  EXPECT_TRUE(frame->StatusLine().contains(Q(set)));

  modal.choices = {"Merge"};
  Reopen();
  EXPECT_TRUE(modal.Questions().at(0).startsWith("Nextcloud or ownCloud left a copy"));
  EXPECT_EQ(SavedFile(), Edited({{"@Q2 Pascal", "@Q2 Blaise Pascal"}, {"@Sdoubt", ""}}));
  EXPECT_EQ(Names(),
            (std::set<std::string>{"Florilex.txt", "FlorilexOld.txt", set,
                                   "Florilex (conflicted copy 2026-01-10 101500).merged.txt",
                                   "Florilex-NOTES.txt"}));
  Reopen();
  EXPECT_TRUE(modal.shown.empty());
  // One that appears while the window is open is offered then.
  modal.choices = {"Later"};
  WriteFile(dir.File("Florilex (Jane Doe's conflicted copy 2026-01-11).txt"), kGuiSample);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !modal.Questions().empty(); }, 20000));
  EXPECT_TRUE(modal.Questions()[0].startsWith("Dropbox left a copy"));
  // One that did not load is looked at again once it was written whole.
  modal.choices = {"Later"};
  WriteFile(dir.File("notes.tmp"), kGuiSample);
  std::filesystem::rename(dir.File("notes.tmp"), dir.File("Florilex-NOTES.txt"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return modal.Questions().size() == 2; }, 20000));
  EXPECT_TRUE(modal.Questions()[1].startsWith("OneDrive left a copy"));
}

TEST_F(VersionsTest, MergeDictionaryTakesAnotherCopysChanges) {
  Open();
  Kept();
  EditText("1.1", "Les Essais");
  TempDir laptop;
  const std::string copy = laptop.File("Florilex.txt");
  WriteFile(copy, Edited({{"@C2 Heart", "@C2 The heart"}}));
  modal.files = {Q(dir.File(kDatabaseFile)), Q(copy)};
  frame->Action(cmd::kMergeDictionary)->trigger();  // its own file is refused
  EXPECT_EQ(modal.Messages().size(), 1u);
  frame->Action(cmd::kMergeDictionary)->trigger();
  EXPECT_EQ(modal.shown.back().kind, "merge");
  EXPECT_EQ(frame->Db().UndoName(), "Merge");
  EXPECT_EQ(SavedFile(),
            Edited({{"@C2 Heart", "@C2 The heart"}, {"@Q1.1 Essais", "@Q1.1 Les Essais"}}));
}

// A node deleted and saved comes back from the version loaded before, as
// one edit that Undo takes back.
TEST_F(VersionsTest, AnEarlierVersionsDeletedNodeIsTakenBack) {
  Open();
  Click(Panes().Quotations(), Quotation("1.1.2"));
  Keys(Qt::Key_H);
  EXPECT_EQ(SavedFile(), Edited({{"@Q1.1.2 Le monde n'est qu'une branloire p\xE9renne.", ""}}));
  Kept();
  modal.dialogScripts.push_back([](QDialog& dialog) {
    auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("versions"));
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(2), "no differences");
    EXPECT_EQ(list->topLevelItem(1)->text(2), "1 node deleted");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(1)).center());
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
      if (button->text() == "Compare") QTest::mouseClick(button, Qt::LeftButton);
  });
  modal.mergeScripts.push_back([](MergePlan& plan) {
    EXPECT_EQ(plan.changes.size(), 1u);
    for (Change& change : plan.changes) change.take = change.kind == Change::kInserted;
    return true;
  });
  frame->Action(cmd::kEarlierVersions)->trigger();
  EXPECT_EQ(frame->Db().UndoName(), "Take Back Differences");
  EXPECT_EQ(SavedFile(), kGuiSample);
}

}  // namespace
}  // namespace lorelist::test
