#include "outputs/line_output.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/posix/posix_file_store.h"

LineOutput::LineOutput(int descriptor) : fd_(descriptor) {
  Examine();
}

void LineOutput::CloseDescriptor(int descriptor) {
  ::close(descriptor);
}

void LineOutput::Examine() {
  struct stat st {};
  regular_ = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
}

bool LineOutput::OpenStream(const std::string& file, std::string* error) {
  if (file.empty() || file == "-") {
    fd_ = STDOUT_FILENO;
  } else {
    // O_NONBLOCK, so that a FIFO without a reader or a device that waits for a carrier cannot
    // hold the start up.
    fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                 0666);
    if (fd_ < 0) {
      const std::string head = "--json " + file + ": ";
      *error = errno == ENXIO ? head + "a FIFO that no program reads yet (start its reader first)"
                              : head + std::strerror(errno);
      return false;
    }
    owned_ = true;
  }
  Examine();
  return true;
}

std::string LineOutput::DiskFileName(const std::string& file) {
  // The file store never follows a link: a link to the file is appended to as the file itself
  // is, by the name it leads to.
  struct stat st {};
  if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return file;
  char* target = ::realpath(file.c_str(), nullptr);
  if (target == nullptr) return "";
  std::string name(target);
  std::free(target);
  return name;
}

FileStore* LineOutput::Files() {
  static PosixFileStore files;
  return &files;
}

std::size_t LineOutput::chunk(std::size_t limit) const {
  // A pipe that poll() calls writable takes PIPE_BUF bytes without waiting.
  return regular_ ? limit : PIPE_BUF;
}

long LineOutput::Write(const char* bytes, std::size_t count, int* error) {
  for (;;) {
    if (!regular_) {
      pollfd p{fd_, POLLOUT, 0};
      const int ready = ::poll(&p, 1, 0);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return 0;  // full: the rest waits (an error shows in the write below)
    }
    const ssize_t n = ::write(fd_, bytes, count);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    *error = errno;
    return -1;
  }
}

void LineOutput::WaitWritable(int timeout_ms) {
  if (fd_ < 0) return;
  pollfd p{fd_, POLLOUT, 0};
  (void)::poll(&p, 1, timeout_ms);
}

std::string LineOutput::ErrorText(int error) {
  return std::strerror(error);
}
