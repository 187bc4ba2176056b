// What keeping a version costs a save. FILE (a Florilex.txt) is loaded once;
// then each round saves it three times, each time with one quotation
// changed, as the editor saves, and keeps the saved file as a version in a
// state folder of its own in each of the ways it can be kept:
//   none    saving only;
//   after   VersionHistory::Keep after the save: the file read back (from
//           the page cache) and compressed on the history's thread;
//   during  the save's bytes handed, as they are written, to a thread that
//           compresses them, finished after the save.
// It prints, for each way, the median time of the save as the window waits
// for it (the save and the call that starts keeping), the median over the
// rounds of that time against the round's save without keeping, and the
// median time until the version is on disk; then the time the base of a
// merge takes to find among the versions kept. The ways take turns in each
// round, each first in its turn. With MODE, only that way is taken: a whole
// process to time from outside (it ends once the version is kept).
//
//   history_bench FILE ROUNDS [LEVEL [none|after|during]]
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "db/history.h"
#include "db/load.h"
#include "db/save.h"

using namespace lorelist;
using Clock = std::chrono::steady_clock;

namespace {

// Compresses what the save writes into LorTemp.BK! on a thread of its own,
// into a file synced when the save has closed its own.
class CompressWhileWriting : public FileOps {
 public:
  CompressWhileWriting(std::string out, int level) : out_(std::move(out)), level_(level) {}

  int CreateNew(const std::string& path, mode_t mode) override {
    const int fd = FileOps::CreateNew(path, mode);
    if (path.ends_with(kTemporaryFile)) {
      fd_ = fd;
      thread_ = std::thread([this] { Compress(); });
    }
    return fd;
  }
  ssize_t Write(int fd, const void* data, size_t size) override {
    const ssize_t wrote = FileOps::Write(fd, data, size);
    if (fd == fd_ && wrote > 0) Hand(std::string(static_cast<const char*>(data), wrote), false);
    return wrote;
  }
  int Close(int fd) override {
    if (fd == fd_) Hand({}, true);
    return FileOps::Close(fd);
  }
  void Finish() {
    if (thread_.joinable()) thread_.join();
    fd_ = -1;
  }

 private:
  void Hand(std::string piece, bool end) {
    std::lock_guard lock(mutex_);
    pieces_.push_back(std::move(piece));
    ended_ = end;
    ready_.notify_one();
  }
  void Compress() {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level_);
    std::FILE* file = std::fopen(out_.c_str(), "wb");
    std::vector<char> packed(ZSTD_CStreamOutSize());
    for (bool end = false; !end;) {
      std::string piece;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return !pieces_.empty(); });
        piece = std::move(pieces_.front());
        pieces_.pop_front();
        end = ended_ && pieces_.empty();
      }
      ZSTD_inBuffer in{piece.data(), piece.size(), 0};
      for (;;) {
        ZSTD_outBuffer out{packed.data(), packed.size(), 0};
        const size_t left =
            ZSTD_compressStream2(context, &out, &in, end ? ZSTD_e_end : ZSTD_e_continue);
        std::fwrite(packed.data(), 1, out.pos, file);
        if (end ? left == 0 : in.pos == in.size) break;
      }
    }
    std::fflush(file);
    ::fsync(fileno(file));
    std::fclose(file);
    ZSTD_freeCCtx(context);
  }

  std::string out_;
  int level_;
  int fd_ = -1;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::string> pieces_;
  bool ended_ = false;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: history_bench FILE ROUNDS [LEVEL [none|after|during]]\n");
    return 2;
  }
  const int rounds = std::atoi(argv[2]);
  const int level = argc > 3 ? std::atoi(argv[3]) : 1;
  const std::string folder = std::filesystem::absolute(argv[1]).parent_path().string();
  const std::string state = folder + "/state";
  std::filesystem::remove_all(state);
  std::filesystem::create_directories(state);
  auto* db = new Database;  // left to the system, as the programs do
  if (LoadDatabase(*db, argv[1]).status != LoadResult::kComplete) return 1;
  HistorySettings settings;
  settings.state = state;
  settings.level = level;
  VersionHistory history(folder, settings);
  const char* const modes[] = {"none", "after", "during"};
  const std::string only = argc > 4 ? argv[4] : "";
  std::vector<double> saves[3], ratios[3], kept[3];
  uint64_t parent = 0;
  for (int round = 0, edit = 0; round < rounds; ++round) {
    for (int turn = 0; turn < 3; ++turn) {
      const int mode = (round + turn) % 3;
      if (!only.empty() && only != modes[mode]) continue;
      db->UpdateText(Tree::kQuotations, db->quotations.GetRootItem(),
                     "Edit " + std::to_string(edit++));
      CompressWhileWriting during(state + "/during.zst", level);
      const auto start = Clock::now();
      const SaveResult saved =
          SaveDatabase(*db, folder, mode == 2 ? static_cast<FileOps&>(during) : SystemFileOps());
      if (!saved.ok) return 1;
      // Each version kept after the one kept before: a line of ancestors.
      if (mode == 1)
        history.Keep(Version::kSaved, db->disk, std::exchange(parent, db->disk.checksum));
      saves[mode].push_back(std::chrono::duration<double>(Clock::now() - start).count());
      history.Wait();
      during.Finish();
      kept[mode].push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    if (only.empty())
      for (int mode = 0; mode < 3; ++mode)
        ratios[mode].push_back(saves[mode][round] / saves[0][round]);
  }
  if (!history.Reported().empty()) {
    std::fprintf(stderr, "%s\n", history.Reported().c_str());
    return 1;
  }
  const size_t versions = history.Versions().size();
  const auto start = Clock::now();
  const bool found = history.BaseFor(*db, *db).has_value();
  const double base = std::chrono::duration<double>(Clock::now() - start).count();
  for (int mode = 0; mode < 3; ++mode)
    if (!saves[mode].empty())
      std::printf("%-6s save %.3f s (%.3fx without)  until kept %.3f s  (medians of %d)\n",
                  modes[mode], Median(saves[mode]), only.empty() ? Median(ratios[mode]) : 1.0,
                  Median(kept[mode]), rounds);
  std::printf("base of a merge among %zu versions: %.3f s%s\n", versions, base,
              found ? "" : " (none found)");
  return 0;
}
