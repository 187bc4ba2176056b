#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace lorelist {

// The file services saving uses, POSIX-style: -1 with errno set on failure.
// Tests replace it to make any step fail.
class FileOps {
 public:
  virtual ~FileOps() = default;
  // Creates a file that does not exist yet, for writing, with the given
  // permission bits (less the umask). Never opens an existing file and never
  // follows a symbolic link: a name planted there makes it fail.
  virtual int CreateNew(const std::string& path, mode_t mode);
  virtual ssize_t Write(int fd, const void* data, size_t size);
  virtual int Sync(int fd);
  virtual int Close(int fd);
  // (uid_t)-1 or (gid_t)-1 leaves that one as it is.
  virtual int ChangeOwner(int fd, uid_t owner, gid_t group);
  // Sets the permission bits exactly, whatever the umask.
  virtual int ChangeMode(int fd, mode_t mode);
  virtual int Remove(const std::string& path);
  virtual int Link(const std::string& from, const std::string& to);
  virtual int Rename(const std::string& from, const std::string& to);
  virtual int SyncDirectory(const std::string& dir);
};

// The real file system.
FileOps& SystemFileOps();

// The system's reason for errno, e.g. "No space left on device".
std::string SystemReason(int error);

// Stands for "exists, but is neither a regular file nor a directory" where an
// errno is expected.
constexpr int kNotRegularFile = -2;
// The reason for an error of OpenRegularFile or CheckRegularFile: the
// system's, or "not a regular file".
std::string FileReason(int error);

// Opens a database file for reading; -1 when it cannot be opened or is not a
// regular file (a directory, device or pipe, which could block or never
// end), with the cause in error (an errno, or kNotRegularFile).
int OpenRegularFile(const std::string& path, int& error);
// Reads a whole regular file, opened as OpenRegularFile opens it, into bytes.
// Returns 0, or the cause as OpenRegularFile gives it; *opened tells whether
// the failure came after the file was opened, while reading.
int ReadRegularFile(const std::string& path, std::string& bytes, bool* opened = nullptr);

// The file that path names once symbolic links are followed: path itself when
// it is no link. A link to a file that does not exist gives the path where
// that file would be. Relative links count from the link's folder.
std::string FollowLinks(const std::string& path);
// Every name on the way: path, then each link's target in turn, the last
// being what FollowLinks gives.
std::vector<std::string> LinkChain(const std::string& path);

// Renames from to `to` only where nothing has that name yet: -1 with EEXIST
// otherwise.
int RenameNoReplace(const std::string& from, const std::string& to);

// The folder part of a path ("." for a bare name) and the name part.
std::string DirectoryOf(const std::string& path);
std::string BaseName(const std::string& path);
// dir/name, or name alone when dir is ".".
std::string JoinPath(const std::string& dir, const std::string& name);
// The path made absolute from the current directory, without following links;
// the path itself when the current directory is unknown.
std::string AbsolutePath(const std::string& path);

// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);
// The same for the names themselves, links not followed.
bool SameEntry(const std::string& a, const std::string& b);

// True when the file must not be replaced: nobody may write it (no write bit
// at all: root ignores permissions, but a user who made the file read-only
// meant it), or this process may not.
bool IsReadOnly(const std::string& path, const struct stat& st);

}  // namespace lorelist
