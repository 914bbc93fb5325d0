#include "outputs/csv_row_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/posix/posix_file_store.h"
#include "settings/free_name.h"

namespace {

std::string Reason(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

}  // namespace

bool CsvRowFile::Begin(const char* header, std::string* problem) {
  Discard();
  // An unnamed file leaves nothing behind if the program dies; where the file system has none,
  // a hidden named one stands in until the export names it.
  fd_ = ::open(".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    char name[] = ".wsmon-run-XXXXXX.csv";
    fd_ = mkostemps(name, 4, O_CLOEXEC);
    if (fd_ < 0) {
      *problem = Reason("--csv: no file can be made in the start directory", errno);
      return false;
    }
    temp_name_ = name;
    // The mode the unnamed file and the export get, not mkstemp's private one.
    const mode_t mask = umask(0);
    umask(mask);
    (void)fchmod(fd_, 0644 & ~mask);
  }
  Append(header, std::strlen(header));
  return true;
}

void CsvRowFile::Append(const char* record, std::size_t length) {
  if (fd_ < 0) return;
  if (used_ + length > sizeof buffer_ && !Flush()) return;
  std::memcpy(buffer_ + used_, record, length);  // a record is far shorter than the buffer
  used_ += length;
}

bool CsvRowFile::Flush() {
  // The file store's write goes on through interruptions and partial writes; errno tells why it
  // stopped short.
  errno = 0;
  const int count = static_cast<int>(used_);
  if (error_ == 0 && count > 0 && PosixFileStore().Write(fd_, buffer_, count) != count)
    error_ = errno != 0 ? errno : EIO;
  used_ = 0;  // after a failure the file is incomplete anyway: it will not be published
  return error_ == 0;
}

bool CsvRowFile::Name(const std::string& name) {
  if (temp_name_.empty()) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }
  // link() never replaces a file; a file system without hard links gets a rename after a look.
  if (link(temp_name_.c_str(), name.c_str()) == 0) {
    unlink(temp_name_.c_str());
    temp_name_.clear();
    return true;
  }
  if (errno == EEXIST || access(name.c_str(), F_OK) == 0) {
    errno = EEXIST;
    return false;
  }
  if (std::rename(temp_name_.c_str(), name.c_str()) != 0) return false;
  temp_name_.clear();
  return true;
}

bool CsvRowFile::Publish(const std::string& base, std::string* name, std::string* problem) {
  if (fd_ < 0) return false;
  errno = 0;
  const bool complete = Flush() && fsync(fd_) == 0;
  // Names the file where nothing exists under the name yet.
  struct Claimer : NameClaimer {
    explicit Claimer(CsvRowFile* f) : file(f) {}
    NameClaim Claim(const char* candidate) override {
      if (file->Name(candidate)) return NameClaim::kClaimed;
      return errno == EEXIST ? NameClaim::kTaken : NameClaim::kFailed;
    }
    CsvRowFile* file;
  } claimer(this);
  std::vector<char> candidate(base.size() + 16);  // room for "_999.csv"
  const bool named =
      complete && ClaimFreeName(base.c_str(), ".csv", claimer, candidate.data(), candidate.size());
  *name = candidate.data();
  if (!named)
    *problem = Reason(("--csv: " + base + ".csv not written").c_str(), error_ ? error_ : errno);
  Discard();
  return named;
}

void CsvRowFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_name_.empty()) unlink(temp_name_.c_str());
  fd_ = -1;
  temp_name_.clear();
  error_ = 0;
  used_ = 0;
}
