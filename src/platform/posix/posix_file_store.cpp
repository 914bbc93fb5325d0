#include "platform/posix/posix_file_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr mode_t kFileMode = 0644;  // less the process's umask

// Opens name without ever waiting (a FIFO without a writer would hold the open for good, a
// device may too) and keeps it only when it is a regular file, blocking again from then on so
// that reads and writes are whole.
FileHandle OpenRegular(const char* name, int flags, CreateFailure* why) {
  int fd;
  do {
    fd = ::open(name, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, kFileMode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (why != nullptr)
      *why = errno == EEXIST ? CreateFailure::kNameTaken : CreateFailure::kRefused;
    return kInvalidFile;
  }
  struct stat st {};
  const int status = fcntl(fd, F_GETFL);
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || status < 0 ||
      fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
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
  return ::chdir(path) == 0;
}

FileHandle PosixFileStore::OpenRead(const char* name) {
  return OpenRegular(name, O_RDONLY, nullptr);
}

FileHandle PosixFileStore::CreateNew(const char* name, CreateFailure* why) {
  return OpenRegular(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, why);
}

int PosixFileStore::Read(FileHandle file, std::uint8_t* dst, int count) {
  if (count < 0) return -1;
  ssize_t n;
  do {
    n = ::read(static_cast<int>(file), dst, static_cast<std::size_t>(count));
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<int>(n);
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
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (done == 0 && total != 0) return -1;
  return static_cast<int>(done);
}

bool PosixFileStore::Sync(FileHandle file) {
  const int fd = static_cast<int>(file);
  return ::fdatasync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

bool PosixFileStore::Close(FileHandle file) {
  const int fd = static_cast<int>(file);
  // fsync of a file opened only for reading is harmless; EINVAL means the file cannot be
  // synchronised at all (a pipe, a special file), which is no loss either.
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
  const bool closed = ::close(fd) == 0;
  return synced && closed;
}

bool PosixFileStore::Replace(const char* from, const char* to) {
  struct stat old {};
  if (::lstat(to, &old) != 0) return errno == ENOENT && std::rename(from, to) == 0;
  if (!S_ISREG(old.st_mode) || !WritableByMode(old)) return false;
  // The new file takes the old one's permissions through its own descriptor: a name may have
  // been swapped for a link since it was written, and a link is never followed here.
  const auto fd = static_cast<int>(OpenRegular(from, O_RDONLY | O_NOFOLLOW, nullptr));
  const bool kept = fd >= 0 && fchmod(fd, old.st_mode & 0777) == 0;
  if (fd >= 0) ::close(fd);
  return kept && std::rename(from, to) == 0;
}

bool PosixFileStore::Remove(const char* name) {
  struct stat st {};
  return ::lstat(name, &st) == 0 && S_ISREG(st.st_mode) && ::unlink(name) == 0;
}
