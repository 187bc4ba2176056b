#include "history.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "file_format.h"
#include "save.h"

namespace lorelist {

namespace {

constexpr const char* kPackedExtension = ".zst";
constexpr const char* kMetadataExtension = ".version";
constexpr const char* kDictionaryFile = "dictionary";
constexpr size_t kChunk = size_t{1} << 20;
// A file left by a keep cut short (a crash, a full disk) is removed by the
// next pruning once it is this old: younger, another window may be writing it.
constexpr int64_t kLeftoverAge = 3600;

bool ParseHex(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 16 || text.find_first_not_of("0123456789abcdef") != text.npos)
    return false;
  value = std::strtoull(text.c_str(), nullptr, 16);
  return true;
}

bool ParseNumber(const std::string& text, int64_t& value) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != text.npos)
    return false;
  value = std::strtoll(text.c_str(), nullptr, 10);
  return true;
}

// The real path of an existing folder; the absolute one where it cannot be had.
std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : AbsolutePath(path);
}

// The dictionary's identity: its Florilex.txt, links followed, in its real
// folder. Two folders whose Florilex.txt is one file share one history.
std::string CanonicalDictionary(const std::string& folder) {
  const std::string file = FollowLinks(JoinPath(RealPath(folder), kDatabaseFile));
  return JoinPath(RealPath(DirectoryOf(file)), BaseName(file));
}

// The name of the history of the dictionary whose canonical path that is.
std::string NameOf(const std::string& dictionary) {
  return VersionName(Checksum::Of(dictionary.data(), dictionary.size()));
}

// Makes the folder and every missing one above it, each 0700; 0 or errno.
int MakeFolders(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  if (errno != ENOENT) return errno;
  const std::string parent = DirectoryOf(path);
  if (parent != path && parent != "/" && parent != ".")
    if (const int error = MakeFolders(parent)) return error;
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  return 0;
}

// Files of the history are as private as the user's own: created 0600, and
// made by `base` in every other respect.
class PrivateOps : public FileOps {
 public:
  explicit PrivateOps(FileOps& base) : base_(base) {}
  int CreateNew(const std::string& path, mode_t mode) override {
    return base_.CreateNew(path, mode & 0600);
  }
  ssize_t Write(int fd, const void* data, size_t size) override {
    return base_.Write(fd, data, size);
  }
  int Sync(int fd) override { return base_.Sync(fd); }
  int Close(int fd) override { return base_.Close(fd); }
  int ChangeOwner(int fd, uid_t owner, gid_t group) override {
    return base_.ChangeOwner(fd, owner, group);
  }
  int ChangeMode(int fd, mode_t mode) override { return base_.ChangeMode(fd, mode & 0600); }
  int Remove(const std::string& path) override { return base_.Remove(path); }
  int Link(const std::string& from, const std::string& to) override { return base_.Link(from, to); }
  int Rename(const std::string& from, const std::string& to) override {
    return base_.Rename(from, to);
  }
  int SyncDirectory(const std::string& dir) override { return base_.SyncDirectory(dir); }

 private:
  FileOps& base_;
};

std::string Metadata(const Version& v) {
  return "checksum " + VersionName(v.checksum) + "\nsize " + std::to_string(v.size) + "\nkept " +
         std::to_string(v.kept) + "\nhow " + (v.how == Version::kSaved ? "saved" : "loaded") +
         "\nencoding " + EncodingName(v.encoding) + "\nparent " + VersionName(v.parent) + "\n";
}

// A version's metadata file, read; none when it is not one, or not whole.
std::optional<Version> ReadMetadata(const std::string& path) {
  std::string bytes;
  if (ReadRegularFile(path, bytes) != 0) return std::nullopt;
  Version v;
  int64_t size = -1, kept = -1;
  bool checksum = false, how = false, encoding = false;
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find('\n', at);
    if (end == bytes.npos) end = bytes.size();
    const std::string line = bytes.substr(at, end - at);
    at = end + 1;
    const size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank), value = line.substr(blank + 1);
    if (blank == line.npos) continue;
    if (key == "checksum") checksum = ParseHex(value, v.checksum);
    if (key == "size") ParseNumber(value, size);
    if (key == "kept") ParseNumber(value, kept);
    if (key == "parent" && !ParseHex(value, v.parent)) v.parent = 0;
    if (key == "how") {
      how = value == "saved" || value == "loaded";
      v.how = value == "saved" ? Version::kSaved : Version::kLoaded;
    }
    if (key == "encoding") {
      encoding =
          value == EncodingName(Encoding::kUtf8) || value == EncodingName(Encoding::kWindows1252);
      v.encoding =
          value == EncodingName(Encoding::kUtf8) ? Encoding::kUtf8 : Encoding::kWindows1252;
    }
  }
  if (!checksum || !how || !encoding || size < 0 || kept < 0) return std::nullopt;
  v.size = static_cast<uint64_t>(size);
  v.kept = kept;
  return v;
}

// Calls `visit` with the name of each entry of the folder; 0 or errno.
int ForEachName(const std::string& folder, const std::function<void(const std::string&)>& visit) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return errno;
  while (const dirent* entry = ::readdir(dir)) visit(entry->d_name);
  ::closedir(dir);
  return 0;
}

// The checksum that names a file of the history with that extension.
bool NamedBy(const std::string& name, const char* extension, uint64_t& checksum) {
  return name.ends_with(extension) &&
         ParseHex(name.substr(0, name.size() - std::strlen(extension)), checksum);
}

struct CompressContext {
  void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};
struct DecompressContext {
  void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

// Reads fd from its start in pieces of kChunk: each to `take`. 0 or errno.
int ReadPieces(int fd, const std::function<bool(const char*, size_t)>& take) {
  auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
  for (off_t offset = 0;;) {
    const ssize_t got = ::pread(fd, buffer.get(), kChunk, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0 || !take(buffer.get(), static_cast<size_t>(got))) return 0;
    offset += got;
  }
}

// Why a keep gives up without a failure to report: the file is no longer
// the one it was asked to keep.
constexpr const char* kChangedMeanwhile = "changed meanwhile";

// Compresses the file fd holds into out, checking that its bytes are the
// ones `file` describes.
std::string Compress(int fd, const FileStamp& file, int level, OutputFile& out) {
  std::unique_ptr<ZSTD_CCtx, CompressContext> context(ZSTD_createCCtx());
  if (!context) return "not enough memory to compress";
  ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, level);
  ZSTD_CCtx_setPledgedSrcSize(context.get(), file.size);
  const size_t room = ZSTD_CStreamOutSize();
  auto packed = std::make_unique_for_overwrite<char[]>(room);
  Checksum sum;
  std::string failure;
  auto feed = [&](const char* data, size_t size, ZSTD_EndDirective mode) {
    ZSTD_inBuffer in{data, size, 0};
    for (;;) {
      ZSTD_outBuffer pending{packed.get(), room, 0};
      const size_t left = ZSTD_compressStream2(context.get(), &pending, &in, mode);
      if (ZSTD_isError(left)) {
        failure = ZSTD_getErrorName(left);
        return false;
      }
      out.Put(std::string_view(packed.get(), pending.pos));
      if (mode == ZSTD_e_end ? left == 0 : in.pos == in.size) return true;
    }
  };
  const int error = ReadPieces(fd, [&](const char* data, size_t size) {
    sum.Add(data, size);
    // More than the file held: it is being written to.
    return sum.Size() <= file.size && feed(data, size, ZSTD_e_continue);
  });
  if (error) return SystemReason(error);
  if (!failure.empty()) return failure;
  if (sum.Size() != file.size || sum.Value() != file.checksum) return kChangedMeanwhile;
  feed(nullptr, 0, ZSTD_e_end);
  return failure;
}

// The lines of a dictionary file, each hashed without its node code, for a
// measure of how far apart two versions are that renumbering leaves alone.
// Continued lines are joined, as the loader joins them: where a line breaks
// depends on the length of its code.
class LineHashes {
 public:
  void Add(const char* data, size_t size) {
    for (const char* end = data + size; data < end;) {
      const char* newline = static_cast<const char*>(std::memchr(data, '\n', end - data));
      line_.append(data, newline ? newline : end);
      if (!newline) return;
      data = newline + 1;
      if (!line_.empty() && line_.back() == '\r') line_.pop_back();
      if (!line_.empty() && line_.back() == '-') {
        line_.pop_back();
        continue;
      }
      EndLine();
    }
  }
  // The hashes in order, the last line ended.
  std::vector<uint64_t>& Sorted() {
    if (!line_.empty()) EndLine();
    std::sort(hashes_.begin(), hashes_.end());
    return hashes_;
  }

 private:
  void EndLine() {
    if (line_.size() > 2 && line_[0] == '@' &&
        (line_[1] == 'Q' || line_[1] == 'C' || line_[1] == 'R'))
      line_.erase(2, std::min(line_.find_first_not_of("0123456789.", 2), line_.size()) - 2);
    hashes_.push_back(XXH3_64bits(line_.data(), line_.size()));
    line_.clear();
  }

  std::string line_;
  std::vector<uint64_t> hashes_;
};

// What WriteDatabase writes, taken into line hashes instead of a file.
class HashingOps : public FileOps {
 public:
  explicit HashingOps(LineHashes& hashes) : hashes_(hashes) {}
  ssize_t Write(int, const void* data, size_t size) override {
    hashes_.Add(static_cast<const char*>(data), size);
    return static_cast<ssize_t>(size);
  }

 private:
  LineHashes& hashes_;
};

// The lines in one sorted list and not in the other, counted as often as
// each has them.
size_t LinesApart(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b) {
  size_t apart = 0, i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i] == b[j]) {
      ++i, ++j;
    } else {
      ++apart;
      a[i] < b[j] ? ++i : ++j;
    }
  }
  return apart + (a.size() - i) + (b.size() - j);
}

}  // namespace

std::string VersionName(uint64_t checksum) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(checksum));
  return text;
}

std::string StateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  // Relative paths are to be ignored, as the XDG base directories say.
  if (state && state[0] == '/') return JoinPath(state, "Lorelist");
  std::string home;
  if (const char* variable = std::getenv("HOME"); variable && *variable)
    home = variable;
  else if (const struct passwd* user = ::getpwuid(::getuid()))
    home = user->pw_dir;
  return JoinPath(JoinPath(home.empty() ? "/" : home, ".local/state"), "Lorelist");
}

std::string HistoryName(const std::string& folder) {
  return NameOf(CanonicalDictionary(folder));
}

VersionHistory::VersionHistory(const std::string& folder, HistorySettings settings)
    : dictionary_(CanonicalDictionary(folder)), settings_(std::move(settings)) {
  if (settings_.state.empty()) settings_.state = StateFolder();
  folder_ = JoinPath(settings_.state, NameOf(dictionary_));
}

VersionHistory::~VersionHistory() {
  Wait();
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

int64_t VersionHistory::Now() const {
  return settings_.now ? settings_.now() : static_cast<int64_t>(std::time(nullptr));
}

std::string VersionHistory::PathOf(uint64_t checksum, const char* extension) const {
  return JoinPath(folder_, VersionName(checksum) + extension);
}

void VersionHistory::SetReport(std::function<void(const std::string&)> report) {
  std::lock_guard lock(mutex_);
  report_ = std::move(report);
}

std::string VersionHistory::Reported() const {
  std::lock_guard lock(mutex_);
  return reported_;
}

void VersionHistory::Report(bool keeping, const std::string& reason) {
  std::function<void(const std::string&)> report;
  {
    std::lock_guard lock(mutex_);
    if (!reported_.empty()) return;
    reported_ = keeping ? "Versions of " + dictionary_ + " cannot be kept in " + folder_ + " (" +
                              reason + "); editing and saving go on without them."
                        : "The versions of " + dictionary_ + " kept in " + folder_ +
                              " cannot be read: " + reason;
    report = report_;
  }
  if (report) report(reported_);
}

void VersionHistory::Keep(Version::How how, const FileStamp& file, uint64_t parent) {
  if (!file.known || !file.exists || !file.summed) return;
  // Opened now: a save that follows at once puts another file under the
  // name, and this one must still be read.
  int error = 0;
  const int fd = OpenRegularFile(dictionary_, error);
  if (fd < 0) return;
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back({fd, file, how, parent, Now()});
    if (!thread_.joinable()) thread_ = std::thread(&VersionHistory::Run, this);
  }
  changed_.notify_all();
}

void VersionHistory::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return jobs_.empty() && !busy_; });
}

void VersionHistory::Run() {
  // Keeping a version can wait: the window's own thread goes first.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;
    const Job job = jobs_.front();
    jobs_.pop_front();
    busy_ = true;
    lock.unlock();
    KeepNow(job);
    ::close(job.fd);
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

void VersionHistory::KeepNow(const Job& job) {
  PrivateOps ops(settings_.ops ? *settings_.ops : SystemFileOps());
  if (const int error = MakeFolders(folder_)) return Report(true, SystemReason(error));
  // Names the dictionary for whoever looks into the state folder.
  const std::string named = JoinPath(folder_, kDictionaryFile);
  std::string naming;
  if (ReadRegularFile(named, naming) != 0 || naming != dictionary_ + "\n") {
    const SaveResult written = WriteFileSafely(
        named,
        [&](OutputFile& out) {
          out.Put(dictionary_ + "\n");
          return std::string();
        },
        ops);
    if (!written.ok) return Report(true, written.message);
  }

  Version version;
  version.checksum = job.file.checksum;
  version.size = job.file.size;
  version.kept = job.when;
  version.how = job.how;
  version.encoding = job.file.encoding;
  version.parent = job.parent == job.file.checksum ? 0 : job.parent;
  const std::string packed = PathOf(version.checksum, kPackedExtension);
  const std::optional<Version> known = Find(version.checksum);
  if (known) {
    // Kept before: only noted now. Its first parent stays, so that ancestry
    // never turns back on itself.
    if (known->parent) version.parent = known->parent;
  } else {
    std::string failure;
    const SaveResult written = WriteFileSafely(
        packed,
        [&](OutputFile& out) {
          failure = Compress(job.fd, job.file, settings_.level, out);
          return failure;
        },
        ops);
    if (failure == kChangedMeanwhile) return;
    if (!written.ok)
      return Report(true, failure.empty() ? written.message : packed + ": " + failure);
  }
  const SaveResult written = WriteFileSafely(
      PathOf(version.checksum, kMetadataExtension),
      [&](OutputFile& out) {
        out.Put(Metadata(version));
        return std::string();
      },
      ops);
  if (!written.ok) return Report(true, written.message);
  Prune();
}

std::vector<Version> VersionHistory::Versions() {
  std::vector<Version> versions;
  const int error = ForEachName(folder_, [&](const std::string& name) {
    uint64_t checksum = 0;
    if (!NamedBy(name, kMetadataExtension, checksum)) return;
    if (std::optional<Version> found = Find(checksum)) versions.push_back(*found);
  });
  if (error && error != ENOENT) Report(false, SystemReason(error));
  std::sort(versions.begin(), versions.end(), [](const Version& a, const Version& b) {
    if (a.kept != b.kept) return a.kept > b.kept;
    return a.written != b.written ? a.written > b.written : a.checksum < b.checksum;
  });
  return versions;
}

std::optional<Version> VersionHistory::Find(uint64_t checksum) const {
  std::optional<Version> found = ReadMetadata(PathOf(checksum, kMetadataExtension));
  struct stat st, written;
  // Listed only with its bytes, and under its own name.
  if (!found || found->checksum != checksum ||
      ::stat(PathOf(checksum, kPackedExtension).c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      ::stat(PathOf(checksum, kMetadataExtension).c_str(), &written) != 0)
    return std::nullopt;
  found->stored = static_cast<uint64_t>(st.st_size);
  found->written = written.st_mtim.tv_sec * int64_t{1'000'000'000} + written.st_mtim.tv_nsec;
  return found;
}

void VersionHistory::Prune() {
  const std::vector<Version> versions = Versions();
  const HistoryLimits& limits = settings_.limits;
  const int64_t now = Now();
  // The versions kept are the newest ones up to the first that breaks a bound.
  size_t keep = 0;
  uint64_t stored = 0;
  for (; keep < versions.size(); ++keep) {
    const Version& v = versions[keep];
    stored += v.stored;
    if (keep > 0 && (keep >= limits.versions || stored > limits.storedBytes ||
                     (keep >= limits.young && now - v.kept > limits.maxAge)))
      break;
  }
  FileOps& ops = settings_.ops ? *settings_.ops : SystemFileOps();
  for (size_t i = keep; i < versions.size(); ++i) {
    // The metadata first: a version is never listed without its bytes.
    ops.Remove(PathOf(versions[i].checksum, kMetadataExtension));
    ops.Remove(PathOf(versions[i].checksum, kPackedExtension));
  }
  // What a keep cut short left: bytes without metadata, temporary files.
  ForEachName(folder_, [&](const std::string& name) {
    const std::string path = JoinPath(folder_, name);
    uint64_t checksum = 0;
    struct stat st;
    const bool leftover = name.ends_with(".lorelist-new") ||
                          (NamedBy(name, kPackedExtension, checksum) &&
                           ::lstat(PathOf(checksum, kMetadataExtension).c_str(), &st) != 0);
    if (leftover && ::lstat(path.c_str(), &st) == 0 &&
        std::time(nullptr) - st.st_mtime > kLeftoverAge)
      ops.Remove(path);
  });
}

std::string VersionHistory::Unpack(const Version& version,
                                   const std::function<void(const char*, size_t)>& take) const {
  const std::string path = PathOf(version.checksum, kPackedExtension);
  int error = 0;
  const int fd = OpenRegularFile(path, error);
  if (fd < 0) return "Cannot open file " + path + ": " + FileReason(error);
  std::unique_ptr<ZSTD_DCtx, DecompressContext> context(ZSTD_createDCtx());
  const size_t room = ZSTD_DStreamOutSize();
  auto unpacked = std::make_unique_for_overwrite<char[]>(room);
  Checksum sum;
  std::string failure = context ? "" : "not enough memory to decompress";
  size_t left = 1;  // zstd's hint: 0 once a frame is complete
  error = ReadPieces(fd, [&](const char* data, size_t size) {
    ZSTD_inBuffer in{data, size, 0};
    ZSTD_outBuffer out{unpacked.get(), room, 0};
    while (failure.empty() && (in.pos < in.size || out.pos == out.size)) {
      out.pos = 0;
      left = ZSTD_decompressStream(context.get(), &out, &in);
      if (ZSTD_isError(left)) failure = ZSTD_getErrorName(left);
      sum.Add(unpacked.get(), out.pos);
      take(unpacked.get(), out.pos);
    }
    return failure.empty();
  });
  ::close(fd);
  if (error) return "Cannot read file " + path + ": " + SystemReason(error);
  if (failure.empty() && left != 0) failure = "it ends too soon";
  if (failure.empty() && (sum.Size() != version.size || sum.Value() != version.checksum))
    failure = "its bytes are not the version's";
  return failure.empty() ? failure : path + " is damaged: " + failure;
}

LoadResult VersionHistory::Load(const Version& version, Database& db) {
  LoadResult result;
  result.status = LoadResult::kCannotOpen;
  db.Clear();
  // The loader reads a file by its name: a file in memory has one under /proc.
  const int fd = ::memfd_create("lorelist-version", MFD_CLOEXEC);
  if (fd < 0) {
    result.message = "Cannot read a kept version: " + SystemReason(errno);
    return result;
  }
  int error = 0;
  std::string failure = Unpack(version, [&](const char* data, size_t size) {
    while (size && !error) {
      const ssize_t wrote = ::write(fd, data, size);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote < 0) error = errno;
      if (wrote > 0) data += wrote, size -= static_cast<size_t>(wrote);
    }
  });
  if (failure.empty() && error) failure = "Cannot read a kept version: " + SystemReason(error);
  if (!failure.empty()) {
    ::close(fd);
    result.message = failure;
    return result;
  }
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  result = LoadDatabase(db, name, nullptr, version.encoding);
  ::close(fd);
  // Messages name the version's own file, not the one in memory.
  if (const size_t at = result.message.find(name); at != std::string::npos)
    result.message.replace(at, name.size(), PathOf(version.checksum, kPackedExtension));
  db.disk = FileStamp();
  db.disk.checksum = version.checksum;
  db.disk.size = version.size;
  db.disk.encoding = version.encoding;
  return result;
}

std::optional<Version> VersionHistory::BaseFor(const Database& mine, const Database& other) {
  std::optional<Version> best;
  if (!mine.disk.summed) return best;
  // Mine's ancestry: its version, the one that was saved after, and so on.
  std::vector<Version> ancestry;
  std::unordered_set<uint64_t> seen;
  for (uint64_t at = mine.disk.checksum; at && seen.insert(at).second;) {
    const std::optional<Version> found = Find(at);
    if (!found) break;
    ancestry.push_back(*found);
    at = found->parent;
  }
  if (ancestry.empty()) return best;
  LineHashes theirs;
  HashingOps hashing(theirs);
  OutputFile written(hashing, -1);
  WriteDatabase(other, written);
  written.Flush();
  const std::vector<uint64_t>& otherLines = theirs.Sorted();
  size_t closest = 0;
  for (const Version& v : ancestry) {
    LineHashes lines;
    if (!Unpack(v, [&](const char* data, size_t size) { lines.Add(data, size); }).empty()) continue;
    const size_t apart = LinesApart(lines.Sorted(), otherLines);
    if (!best || apart < closest || (apart == closest && v.kept > best->kept)) {
      best = v;
      closest = apart;
    }
  }
  return best;
}

}  // namespace lorelist
