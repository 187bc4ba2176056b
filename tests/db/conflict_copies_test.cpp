// The copies sync services leave beside Florilex.txt: which names are theirs,
// and how a merged one is put aside.

#include "db/conflict_copies.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace lorelist {
namespace {

using test::ReadFile;
using test::WriteFile;

TEST(ConflictCopies, NamesOfEachServiceAndTheirLookAlikes) {
  const struct {
    const char* name;
    const char* service;  // nullptr: not a conflict copy
  } cases[] = {
      {"Florilex.sync-conflict-20240115-143022-ABCDEF7.txt", "Syncthing"},
      {"Florilex.sync-conflict-2024011-143022-ABCDEF7.txt", nullptr},  // a digit short
      {"Florilex.sync-conflict-20240115-143022-ABCDEF7.merged.txt", nullptr},
      {"Florilex (conflicted copy 2024-01-15 143022).txt", "Nextcloud or ownCloud"},
      {"Florilex (conflicted copy jane 2024-01-15 143022).txt", "Nextcloud or ownCloud"},
      {"Florilex (conflicted copy 2024-01-15 143022).merged.txt", nullptr},
      {"Florilex_conflict-20240115-143022.txt", "ownCloud"},
      {"Florilex (Jane Doe's conflicted copy 2024-01-15).txt", "Dropbox"},
      {"Florilex (Jane Doe\xE2\x80\x99s conflicted copy 2024-01-15 (1)).txt", "Dropbox"},
      {"Florilex (Jane's copy 2024-01-15).txt", nullptr},
      {"Florilex-LAPTOP-7.txt", "OneDrive"},
      {"Florilex-LAPTOP.merged.txt", nullptr},
      {"Florilex.txt", nullptr},
      {"FlorilexOld.txt", nullptr},
      {"Florilex copy.txt", nullptr},
      {"florilex.sync-conflict-20240115-143022-ABCDEF7.txt", nullptr},
      {"Florilex-LAPTOP.txt.bak", nullptr},
  };
  for (const auto& c : cases) {
    const char* service = ConflictCopyService(c.name);
    EXPECT_STREQ(service, c.service) << c.name;
  }
}

TEST(ConflictCopies, FoundInTheFolderAndRenamedAsideWithoutReplacingAFile) {
  test::TempDir dir;
  for (const char* name : {"Florilex.txt", "Florilex-PC.txt",
                           "Florilex (conflicted copy "
                           "2024-01-15 143022).txt",
                           "Florilex-PC.merged.txt", "notes.txt"})
    WriteFile(dir.File(name), name);
  std::filesystem::create_directory(dir.File("Florilex-DIR.txt"));  // files only
  EXPECT_EQ(ConflictCopies(dir.path()),
            (std::vector<std::string>{dir.File("Florilex (conflicted copy 2024-01-15 143022).txt"),
                                      dir.File("Florilex-PC.txt")}));

  std::string reason;
  EXPECT_EQ(RenameMergedCopy(dir.File("Florilex-PC.txt"), reason),
            dir.File("Florilex-PC.merged-2.txt"));
  EXPECT_EQ(ReadFile(dir.File("Florilex-PC.merged.txt")), "Florilex-PC.merged.txt");
  EXPECT_EQ(ReadFile(dir.File("Florilex-PC.merged-2.txt")), "Florilex-PC.txt");
  EXPECT_EQ(ConflictCopies(dir.path()).size(), 1u);

  EXPECT_EQ(RenameMergedCopy(dir.File("Florilex-PC.txt"), reason), "");
  EXPECT_NE(reason.find("No such file"), std::string::npos) << reason;
}

}  // namespace
}  // namespace lorelist
