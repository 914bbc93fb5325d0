#include "platform/posix/posix_file_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr mode_t kFileMode = 0644;  // less the process's umask

// The errno of this thread's last failed operation.
thread_local int t_failure = 0;

// Keeps errno as the reason of a failure; returns false for the caller's convenience.
bool Failed() {
  t_failure = errno;
  return false;
}

// Opens name without ever waiting (a FIFO without a writer would hold the open for good, a
// device may too) and keeps it only when it is a regular file, blocking again from then on so
// that reads and writes are whole.
FileHandle OpenRegular(const char* name, int flags, CreateFailure* why) {
  int fd;
  do {
    fd = ::open(name, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, kFileMode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Failed();
    if (why != nullptr)
      *why = errno == EEXIST ? CreateFailure::kNameTaken : CreateFailure::kRefused;
    return kInvalidFile;
  }
  struct stat st {};
  const int status = fcntl(fd, F_GETFL);
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || status < 0 ||
      fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    t_failure = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    if (why != nullptr) *why = CreateFailure::kRefused;
    return kInvalidFile;
  }
  return static_cast<FileHandle>(fd);
}

// Whether the permission bits let this user write a file. They are judged as for any user, root
// included, so that a file made read-only stays so for everyone, as a read-only file does on
// Windows.
bool WritableByMode(const struct stat& st) {
  if (st.st_uid == geteuid()) return (st.st_mode & S_IWUSR) != 0;
  if (group_member(st.st_gid) != 0) return (st.st_mode & S_IWGRP) != 0;
  return (st.st_mode & S_IWOTH) != 0;
}

}  // namespace

std::size_t PosixFileStore::GetCurrentDir(char* buf, std::size_t cap) {
  if (cap == 0 || ::getcwd(buf, cap) == nullptr) return 0;
  return std::strlen(buf);
}

bool PosixFileStore::SetCurrentDir(const char* path) {
  return ::chdir(path) == 0 || Failed();
}

FileHandle PosixFileStore::OpenRead(const char* name) {
  return OpenRegular(name, O_RDONLY, nullptr);
}

FileHandle PosixFileStore::CreateNew(const char* name, CreateFailure* why) {
  return OpenRegular(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, why);
}

FileHandle PosixFileStore::OpenAppend(const char* name, bool must_be_new, CreateFailure* why) {
  return OpenRegular(name, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | (must_be_new ? O_EXCL : 0),
                     why);
}

int PosixFileStore::Read(FileHandle file, std::uint8_t* dst, int count) {
  if (count < 0) return -1;
  ssize_t n;
  do {
    n = ::read(static_cast<int>(file), dst, static_cast<std::size_t>(count));
  } while (n < 0 && errno == EINTR);
  if (n < 0) Failed();
  return n < 0 ? -1 : static_cast<int>(n);
}

int PosixFileStore::ReadAt(FileHandle file, std::int64_t offset, std::uint8_t* dst, int count) {
  if (count < 0 || offset < 0) return -1;
  ssize_t n;
  do {
    n = ::pread(static_cast<int>(file), dst, static_cast<std::size_t>(count),
                static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  if (n < 0) Failed();
  return n < 0 ? -1 : static_cast<int>(n);
}

std::int64_t PosixFileStore::Size(FileHandle file) {
  struct stat st {};
  if (::fstat(static_cast<int>(file), &st) != 0) {
    Failed();
    return -1;
  }
  return static_cast<std::int64_t>(st.st_size);
}

bool PosixFileStore::Truncate(FileHandle file, std::int64_t size) {
  int r;
  do {
    r = ::ftruncate(static_cast<int>(file), static_cast<off_t>(size));
  } while (r != 0 && errno == EINTR);
  return r == 0 || Failed();
}

bool PosixFileStore::SyncData(FileHandle file) {
  return ::fdatasync(static_cast<int>(file)) == 0 || errno == EINVAL || errno == EROFS || Failed();
}

bool PosixFileStore::TryLock(FileHandle file) {
  int r;
  do {
    r = ::flock(static_cast<int>(file), LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  return r == 0 || Failed();
}

int PosixFileStore::Write(FileHandle file, const std::uint8_t* src, int count) {
  if (count < 0) return -1;
  // A regular file may take a write in parts (a signal, a nearly full disk): go on until all of
  // it is written or the system refuses.
  std::size_t done = 0;
  const auto total = static_cast<std::size_t>(count);
  while (done < total) {
    const ssize_t n = ::write(static_cast<int>(file), src + done, total - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;  // a regular file that takes nothing has no room left
    if (n <= 0) {
      Failed();
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (done == 0 && total != 0) return -1;
  return static_cast<int>(done);
}

bool PosixFileStore::Close(FileHandle file) {
  const int fd = static_cast<int>(file);
  // fsync of a file opened only for reading is harmless; EINVAL means the file cannot be
  // synchronised at all (a pipe, a special file), which is no loss either.
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS || Failed();
  const bool closed = ::close(fd) == 0 || Failed();
  return synced && closed;
}

bool PosixFileStore::Replace(const char* from, const char* to) {
  struct stat old {};
  if (::lstat(to, &old) != 0) {
    if (errno != ENOENT) return Failed();
    return std::rename(from, to) == 0 || Failed();
  }
  if (!S_ISREG(old.st_mode) || !WritableByMode(old)) {
    t_failure = EACCES;
    return false;
  }
  // The new file takes the old one's permissions through its own descriptor: a name may have
  // been swapped for a link since it was written, and a link is never followed here.
  const auto fd = static_cast<int>(OpenRegular(from, O_RDONLY | O_NOFOLLOW, nullptr));
  const bool kept = fd >= 0 && (fchmod(fd, old.st_mode & 0777) == 0 || Failed());
  if (fd >= 0) ::close(fd);
  return kept && (std::rename(from, to) == 0 || Failed());
}

bool PosixFileStore::RenameNew(const char* from, const char* to, CreateFailure* why) {
  if (why != nullptr) *why = CreateFailure::kRefused;
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno == EINVAL || errno == ENOSYS) {
    // A file system without the flag; a hard link claims the name just as surely.
    if (::link(from, to) == 0) {
      ::unlink(from);
      return true;
    }
  }
  if (errno == EEXIST && why != nullptr) *why = CreateFailure::kNameTaken;
  return Failed();
}

bool PosixFileStore::Remove(const char* name) {
  struct stat st {};
  if (::lstat(name, &st) != 0) return Failed();
  if (!S_ISREG(st.st_mode)) {
    t_failure = EISDIR;
    return false;
  }
  return ::unlink(name) == 0 || Failed();
}

bool PosixFileStore::SyncDirectory(const char* directory) {
  const int fd = ::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Failed();
  // A file system that cannot flush a directory (EINVAL) keeps its names as it keeps them.
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL || Failed();
  ::close(fd);
  return synced;
}

bool PosixFileStore::ListFiles(const char* directory,
                               const std::function<void(const char* name)>& visit) {
  DIR* dir = ::opendir(directory);
  if (dir == nullptr) return Failed();
  const int dir_fd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      regular =
          ::fstatat(dir_fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
    }
    if (regular) visit(entry->d_name);
  }
  ::closedir(dir);
  return true;
}

std::string PosixFileStore::LastFailure() {
  return t_failure != 0 ? std::strerror(t_failure) : std::string();
}
