// The versions kept of a dictionary: kept once, private, pruned within their
// bounds, read back, the base they give a merge, and failures that stop
// nothing.

#include "db/history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "cli/generate.h"
#include "support/capture_ops.h"
#include "support/fixtures.h"
#include "support/injected_ops.h"

namespace lorelist {
namespace {

namespace fs = std::filesystem;
using test::WrittenDatabase;

constexpr int64_t kDay = 24 * 3600;
constexpr int64_t kStart = 1'800'000'000;

// A dictionary folder, its history in a state folder of its own and a clock
// that moves only when told.
struct Kept {
  explicit Kept(HistoryLimits limits = {}, FileOps* ops = nullptr)
      : folder(Sample()), history(folder.dir.path(), Settings(limits, ops)) {}

  static std::string Sample() {
    Database db;
    GenerateDatabase(db, 60, 7);
    return WrittenDatabase(db);
  }
  HistorySettings Settings(HistoryLimits limits, FileOps* ops) {
    HistorySettings settings;
    settings.state = state.File("state/Lorelist");
    settings.limits = limits;
    settings.now = [this] { return now; };
    settings.ops = ops;
    return settings;
  }
  // Saves the folder's database as the window does, and keeps the file.
  void Save() {
    const uint64_t parent = folder.db.disk.checksum;
    ASSERT_TRUE(folder.Save().ok);
    history.Keep(Version::kSaved, folder.db.disk, parent);
    history.Wait();
  }
  void ChangeAndSave(const std::string& text) {
    folder.db.UpdateText(Tree::kQuotations, test::NodeAt(folder.db.quotations, "1.1"), text);
    Save();
  }
  std::string Bytes(const Version& v) {
    Database db;
    EXPECT_EQ(history.Load(v, db).status, LoadResult::kComplete);
    return WrittenDatabase(db);
  }

  test::TempDir state;
  int64_t now = kStart;
  test::DatabaseFolder folder;
  VersionHistory history;
};

mode_t Mode(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(History, KeepsEachVersionOnceInPrivateFilesAndReadsItBack) {
  Kept kept;
  const std::string loaded = kept.folder.Saved();
  kept.history.Keep(Version::kLoaded, kept.folder.db.disk);
  kept.history.Wait();
  std::vector<Version> versions = kept.history.Versions();
  ASSERT_EQ(versions.size(), 1u);
  const Version first = versions[0];
  EXPECT_EQ(first.how, Version::kLoaded);
  EXPECT_EQ(first.checksum, kept.folder.db.disk.checksum);
  EXPECT_EQ(first.size, loaded.size());
  EXPECT_EQ(first.kept, kStart);
  EXPECT_EQ(first.parent, 0u);
  EXPECT_LT(first.stored, first.size / 2);
  EXPECT_EQ(kept.Bytes(first), loaded);

  // The same bytes saved again are only noted: kept now, as saved.
  const std::string packed = kept.history.Folder() + "/" + VersionName(first.checksum) + ".zst";
  const fs::file_time_type packedAt = fs::last_write_time(packed);
  kept.now += 60;
  kept.folder.db.MarkChanged();
  kept.Save();
  versions = kept.history.Versions();
  ASSERT_EQ(versions.size(), 1u);
  EXPECT_EQ(versions[0].kept, kStart + 60);
  EXPECT_EQ(versions[0].how, Version::kSaved);
  EXPECT_EQ(fs::last_write_time(packed), packedAt);

  // A change saved is a version after the one before.
  kept.now += 60;
  kept.ChangeAndSave("Changed");
  versions = kept.history.Versions();
  ASSERT_EQ(versions.size(), 2u);
  EXPECT_EQ(versions[0].parent, first.checksum);
  EXPECT_EQ(versions[0].checksum, kept.folder.db.disk.checksum);
  EXPECT_EQ(kept.Bytes(versions[0]), kept.folder.Saved());
  EXPECT_EQ(kept.Bytes(versions[1]), loaded);
  EXPECT_EQ(kept.history.Find(first.checksum)->checksum, first.checksum);

  // Private: every folder made is 0700, every file 0600.
  EXPECT_EQ(Mode(kept.state.File("state")), 0700u);
  for (const auto& entry : fs::recursive_directory_iterator(kept.state.File("state")))
    EXPECT_EQ(Mode(entry.path()), entry.is_directory() ? 0700u : 0600u) << entry.path();
  // Named by the dictionary, also when reached through a link.
  EXPECT_EQ(BaseName(kept.history.Folder()), HistoryName(kept.folder.dir.path()));
  fs::create_directory_symlink(kept.folder.dir.path(), kept.state.File("link"));
  EXPECT_EQ(HistoryName(kept.state.File("link")), HistoryName(kept.folder.dir.path()));
  EXPECT_EQ(kept.history.Reported(), "");
}

// A UTF-8 file without the mark, read as UTF-8, is read back so.
TEST(History, ReadsAVersionInTheEncodingItWasKeptIn) {
  Kept kept;
  test::WriteFile(kept.folder.File(), "@Q1 Caf\xC3\xA9\r\n@@\r\n");
  ASSERT_EQ(LoadDatabase(kept.folder.db, kept.folder.File(), nullptr, Encoding::kUtf8).status,
            LoadResult::kComplete);
  kept.history.Keep(Version::kLoaded, kept.folder.db.disk);
  kept.history.Wait();
  const Version v = kept.history.Versions().at(0);
  EXPECT_EQ(v.encoding, Encoding::kUtf8);
  Database db;
  ASSERT_EQ(kept.history.Load(v, db).status, LoadResult::kComplete);
  EXPECT_EQ(db.encoding, Encoding::kUtf8);
}

// Each version is kept `ages` days before the last, oldest first; the last
// is kept now. The versions left are the newest `left`.
TEST(History, PrunesOldestFirstWithinItsBounds) {
  struct Case {
    const char* name;
    HistoryLimits limits;
    std::vector<int64_t> ages;
    size_t left;
  };
  const Case cases[] = {
      {"at most so many", {3, 90 * kDay, 5, 1 << 30}, {0, 0, 0, 0, 0}, 3},
      {"none too old but the young", {50, 90 * kDay, 2, 1 << 30}, {200, 100, 95, 10, 0}, 2},
      {"the young kept however old", {50, 90 * kDay, 4, 1 << 30}, {200, 100, 95, 10, 0}, 4},
      {"all young enough", {50, 90 * kDay, 1, 1 << 30}, {89, 80, 0}, 3},
      {"the newest kept whatever its size", {50, 90 * kDay, 5, 1}, {2, 1, 0}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Kept kept(c.limits);
    std::vector<int64_t> times;
    for (size_t i = 0; i < c.ages.size(); ++i) {
      kept.now = kStart - c.ages[i] * kDay + static_cast<int64_t>(i);
      times.insert(times.begin(), kept.now);
      kept.ChangeAndSave("Version " + std::to_string(i));
    }
    std::vector<int64_t> left;
    for (const Version& v : kept.history.Versions()) left.push_back(v.kept);
    times.resize(c.left);
    EXPECT_EQ(left, times);
    // Nothing is left of the pruned: two files a version, and the name.
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(kept.history.Folder()))
      ++files;
    EXPECT_EQ(files, 2 * c.left + 1);
  }
}

TEST(History, SizesTheBoundOnStoredBytes) {
  Kept probe;
  probe.ChangeAndSave("Version 0");
  const uint64_t one = probe.history.Versions()[0].stored;
  // Room for two and a half versions holds two.
  Kept kept({50, 90 * kDay, 5, one * 5 / 2});
  for (int i = 0; i < 4; ++i) {
    ++kept.now;
    kept.ChangeAndSave("Version " + std::to_string(i));
  }
  EXPECT_EQ(kept.history.Versions().size(), 2u);
}

TEST(History, GivesTheBaseOfAMerge) {
  Kept kept;
  Database& db = kept.folder.db;
  kept.history.Keep(Version::kLoaded, db.disk);
  kept.history.Wait();
  const uint64_t v1 = db.disk.checksum;
  const std::string v1Bytes = kept.folder.Saved();
  // v2: a text changed. The other copy grew from it: one quotation more.
  kept.now += 10;
  kept.ChangeAndSave("Mine");
  Database other;
  ASSERT_EQ(test::LoadBytes(other, kept.folder.Saved()).status, LoadResult::kComplete);
  ASSERT_EQ(other.InsertNode(Tree::kQuotations, test::NodeAt(other.quotations, "1.1.2"),
                             Placement::kAfter, "Theirs"),
            "");
  // A version of another branch, however close, is no ancestor of mine.
  ASSERT_TRUE(WriteDatabaseFile(other, kept.folder.File()).ok);
  kept.now += 10;
  kept.history.Keep(Version::kSaved, StampOfFile(kept.folder.File()), v1);
  ASSERT_TRUE(WriteDatabaseFile(db, kept.folder.File()).ok);
  // v3: a node moved, the same lines as v2 renumbered, and newer; then
  // versions far from the other copy.
  kept.now += 10;
  db.MoveNode(Tree::kQuotations, test::NodeAt(db.quotations, "2"), Direction::kUp);
  kept.Save();
  const uint64_t v3 = db.disk.checksum;
  for (const char* code : {"1.1.1", "1.1.5", "2", "2.1", "3.1.2"}) {
    ASSERT_EQ(db.UpdateText(Tree::kQuotations, test::NodeAt(db.quotations, code), "Far"), "");
    kept.now += 10;
    kept.Save();
  }
  std::optional<Version> base = kept.history.BaseFor(db, other);
  ASSERT_TRUE(base);
  EXPECT_EQ(base->checksum, v3);

  // A file changed outside: the base is the version the window loaded.
  Database loaded;
  ASSERT_EQ(test::LoadBytes(loaded, v1Bytes).status, LoadResult::kComplete);
  base = kept.history.Find(loaded.disk.checksum);
  ASSERT_TRUE(base);
  EXPECT_EQ(base->checksum, v1);
  EXPECT_EQ(kept.Bytes(*base), v1Bytes);

  // No base for a file whose version is not kept.
  ASSERT_EQ(test::LoadBytes(loaded, "@Q1 Never kept\r\n@@\r\n").status, LoadResult::kComplete);
  EXPECT_FALSE(kept.history.BaseFor(loaded, other));
  EXPECT_FALSE(kept.history.Find(loaded.disk.checksum));
}

// The file is kept as it was when asked, though a save replaced it at once.
TEST(History, KeepsTheFileItWasAskedToKeep) {
  Kept kept;
  kept.history.Keep(Version::kLoaded, kept.folder.db.disk);
  kept.ChangeAndSave("At once");
  EXPECT_EQ(kept.history.Versions().size(), 2u);
}

TEST(History, KeepsNothingOfAFileChangedBeforeItWasRead) {
  Kept kept;
  const FileStamp loaded = kept.folder.db.disk;
  test::WriteFile(kept.folder.File(), "@Q1 Another\r\n@@\r\n");
  kept.history.Keep(Version::kLoaded, loaded);
  kept.history.Wait();
  EXPECT_TRUE(kept.history.Versions().empty());
  EXPECT_EQ(kept.history.Reported(), "");
}

TEST(History, TellsADamagedVersion) {
  Kept kept;
  kept.ChangeAndSave("Another");
  ++kept.now;
  kept.ChangeAndSave("Damaged");
  const std::vector<Version> versions = kept.history.Versions();
  const auto packed = [&](const Version& v) {
    return kept.history.Folder() + "/" + VersionName(v.checksum) + ".zst";
  };
  const std::string bytes = test::ReadFile(packed(versions[0]));
  const std::pair<std::string, const char*> cases[] = {
      {bytes.substr(0, bytes.size() / 2), "it ends too soon"},
      {"", "it ends too soon"},
      {test::ReadFile(packed(versions[1])), "its bytes are not the version's"},
      {"not zstd", "Unknown frame descriptor"}};
  for (const auto& [damaged, reason] : cases) {
    test::WriteFile(packed(versions[0]), damaged);
    Database db;
    const LoadResult result = kept.history.Load(versions[0], db);
    EXPECT_EQ(result.status, LoadResult::kCannotOpen);
    EXPECT_EQ(result.message, packed(versions[0]) + " is damaged: " + reason);
  }
  // A merge passes it over for the next version it descends from.
  EXPECT_EQ(kept.history.BaseFor(kept.folder.db, kept.folder.db)->checksum, versions[1].checksum);
}

// A state folder that cannot be written: each way says why, once a run,
// and the saves go on.
TEST(History, FailuresAreReportedOnceAndStopNothing) {
  struct Case {
    const char* name;
    test::InjectedOps::Step step;
    int error;
    const char* reason;
  };
  const Case cases[] = {
      {"a file where the folder should be", test::InjectedOps::kNone, 0, "Not a directory"},
      {"a full disk", test::InjectedOps::kWrite, ENOSPC, "No space left on device"},
      {"a failing sync", test::InjectedOps::kSync, EIO, "Input/output error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::InjectedOps ops;
    ops.step = c.step;
    ops.error = c.error;
    ops.bytesBeforeFailure = 1000;  // the dictionary's name, then no more
    Kept kept({}, &ops);
    if (!c.error) test::WriteFile(kept.state.File("state"), "");
    std::vector<std::string> told;
    kept.history.SetReport([&](const std::string& message) { told.push_back(message); });
    for (int i = 0; i < 3; ++i) kept.ChangeAndSave("Version " + std::to_string(i));
    EXPECT_FALSE(kept.folder.db.IsChanged());
    EXPECT_TRUE(kept.history.Versions().empty());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(c.reason), std::string::npos) << told[0];
    EXPECT_EQ(kept.history.Reported(), told[0]);
    // Nothing is left half written.
    if (c.error) {
      for (const auto& entry : fs::directory_iterator(kept.history.Folder()))
        EXPECT_EQ(entry.path().filename(), "dictionary");
    }
  }
}

TEST(History, LivesInTheUsersStateFolder) {
  const char* const home = std::getenv("HOME");
  const std::string saved = home ? home : "";
  struct Case {
    const char* state;
    const char* folder;
  };
  const Case cases[] = {{"/x/state", "/x/state/Lorelist"},
                        {"relative", "/home/u/.local/state/Lorelist"},
                        {nullptr, "/home/u/.local/state/Lorelist"}};
  setenv("HOME", "/home/u", 1);
  for (const Case& c : cases) {
    c.state ? setenv("XDG_STATE_HOME", c.state, 1) : unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(StateFolder(), c.folder);
  }
  unsetenv("XDG_STATE_HOME");
  home ? setenv("HOME", saved.c_str(), 1) : unsetenv("HOME");
}

}  // namespace
}  // namespace lorelist
