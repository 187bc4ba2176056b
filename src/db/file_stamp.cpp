#include "file_stamp.h"

#include <unistd.h>

#include <cerrno>
#include <memory>

#include "file_ops.h"

namespace lorelist {

FileStamp FileStamp::Missing() {
  FileStamp stamp;
  stamp.known = true;
  return stamp;
}

FileStamp FileStamp::Seen(const struct stat& st) {
  FileStamp stamp;
  stamp.known = true;
  stamp.exists = true;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.seconds = st.st_mtim.tv_sec;
  stamp.nanoseconds = st.st_mtim.tv_nsec;
  return stamp;
}

FileStamp FileStamp::Of(const struct stat& st, const Checksum& sum) {
  FileStamp stamp = Seen(st);
  stamp.size = sum.Size();
  stamp.checksum = sum.Value();
  stamp.summed = true;
  return stamp;
}

bool ChecksumOfFile(const std::string& path, Checksum& sum) {
  int error = 0;
  const int fd = OpenRegularFile(path, error);
  if (fd < 0) return false;
  constexpr size_t kChunk = 1 << 20;
  auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.get(), kChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    sum.Add(buffer.get(), static_cast<size_t>(got));
  }
  ::close(fd);
  return ok;
}

FileStamp StampOfFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? FileStamp::Missing() : FileStamp();
  if (!S_ISREG(st.st_mode)) return FileStamp();
  Checksum sum;
  return ChecksumOfFile(path, sum) ? FileStamp::Of(st, sum) : FileStamp::Seen(st);
}

bool ChangedSince(const FileStamp& stamp, const std::string& path) {
  if (!stamp.known) return false;  // never read: the partly-loaded question covers it
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? stamp.exists : true;
  if (!stamp.exists || !S_ISREG(st.st_mode)) return true;
  if (static_cast<uint64_t>(st.st_size) != stamp.size) return true;
  if (st.st_dev == stamp.device && st.st_ino == stamp.inode && st.st_mtim.tv_sec == stamp.seconds &&
      st.st_mtim.tv_nsec == stamp.nanoseconds)
    return false;
  if (!stamp.summed) return true;
  Checksum sum;
  return !ChecksumOfFile(path, sum) || sum.Size() != stamp.size || sum.Value() != stamp.checksum;
}

}  // namespace lorelist
