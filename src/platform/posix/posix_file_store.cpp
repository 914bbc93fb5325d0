#include "platform/posix/posix_file_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr mode_t kFileMode = 0644;  // less the process's umask

FileHandle OpenWith(const char* name, int flags) {
  int fd;
  do {
    fd = ::open(name, flags | O_CLOEXEC, kFileMode);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? kInvalidFile : static_cast<FileHandle>(fd);
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
  return OpenWith(name, O_RDONLY);
}

FileHandle PosixFileStore::CreateNew(const char* name) {
  return OpenWith(name, O_WRONLY | O_CREAT | O_EXCL);
}

FileHandle PosixFileStore::CreateAlways(const char* name) {
  return OpenWith(name, O_WRONLY | O_CREAT | O_TRUNC);
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

bool PosixFileStore::Close(FileHandle file) {
  const int fd = static_cast<int>(file);
  // fsync of a file opened only for reading is harmless; EINVAL means the file cannot be
  // synchronised at all (a pipe, a special file), which is no loss either.
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
  const bool closed = ::close(fd) == 0;
  return synced && closed;
}

bool PosixFileStore::Replace(const char* from, const char* to) {
  return std::rename(from, to) == 0;
}

bool PosixFileStore::Remove(const char* name) {
  return ::unlink(name) == 0;
}
