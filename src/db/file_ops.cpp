#include "file_ops.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace lorelist {

int FileOps::CreateNew(const std::string& path, mode_t mode) {
  int fd;
  do fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

ssize_t FileOps::Write(int fd, const void* data, size_t size) {
  return ::write(fd, data, size);
}

int FileOps::Sync(int fd) {
  return ::fsync(fd);
}

int FileOps::Close(int fd) {
  return ::close(fd);
}

int FileOps::ChangeOwner(int fd, uid_t owner, gid_t group) {
  return ::fchown(fd, owner, group);
}

int FileOps::ChangeMode(int fd, mode_t mode) {
  return ::fchmod(fd, mode);
}

int FileOps::Remove(const std::string& path) {
  return ::unlink(path.c_str());
}

int FileOps::Link(const std::string& from, const std::string& to) {
  return ::link(from.c_str(), to.c_str());
}

int FileOps::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}

int FileOps::SyncDirectory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int rc = ::fsync(fd);
  int saved = errno;
  ::close(fd);
  errno = saved;
  return rc;
}

FileOps& SystemFileOps() {
  static FileOps ops;
  return ops;
}

std::string SystemReason(int error) {
  return std::strerror(error);
}

std::string FileReason(int error) {
  return error == kNotRegularFile ? "not a regular file" : SystemReason(error);
}

int OpenRegularFile(const std::string& path, int& error) {
  // Without blocking: opening a pipe would wait for a writer.
  int fd;
  do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    error = S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
  } else {
    // Reads of a regular file never block; clear the flag all the same.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    error = 0;
    return fd;
  }
  ::close(fd);
  return -1;
}

int ReadRegularFile(const std::string& path, std::string& bytes, bool* opened) {
  int error = 0;
  const int fd = OpenRegularFile(path, error);
  if (opened) *opened = fd >= 0;
  if (fd < 0) return error;
  // Room for the whole file at once: growing by doubling would hold it twice.
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0)
    bytes.reserve(bytes.size() + static_cast<size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : 0;
      break;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return error;
}

std::vector<std::string> LinkChain(const std::string& path) {
  std::vector<std::string> chain{path};
  // The system's own limit on links in a row; past it, the path as reached.
  for (int hops = 0; hops < 40; ++hops) {
    std::vector<char> target(PATH_MAX + 1);
    const std::string& current = chain.back();
    const ssize_t length = ::readlink(current.c_str(), target.data(), PATH_MAX);
    if (length < 0) break;  // not a link (or not there): this is the file
    std::string next(target.data(), static_cast<size_t>(length));
    if (next.empty()) break;
    chain.push_back(next.front() == '/' ? next : JoinPath(DirectoryOf(current), next));
  }
  return chain;
}

std::string FollowLinks(const std::string& path) {
  return LinkChain(path).back();
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without it: a hard link cannot replace anything either.
  if (::link(from.c_str(), to.c_str()) != 0) return -1;
  ::unlink(from.c_str());
  return 0;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  std::vector<char> cwd(PATH_MAX + 1);
  if (!::getcwd(cwd.data(), cwd.size())) return path;
  std::string base(cwd.data());
  if (path.empty() || path == ".") return base;
  std::string rest = path;
  while (rest.starts_with("./")) rest.erase(0, 2);
  return JoinPath(base, rest);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool SameEntry(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool IsReadOnly(const std::string& path, const struct stat& st) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 &&
         (errno == EACCES || errno == EPERM || errno == EROFS);
}

}  // namespace lorelist
