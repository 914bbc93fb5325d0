#include "frontend/headless/run_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "settings/free_name.h"

namespace {

class ExclusiveClaimer : public NameClaimer {
 public:
  NameClaim Claim(const char* name) override {
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return NameClaim::kClaimed;
    }
    error = errno;
    return errno == EEXIST ? NameClaim::kTaken : NameClaim::kFailed;
  }
  int error = 0;
};

}  // namespace

RunFiles::RunFiles(const std::string& file) : file_(file) {
  if (file.empty() || file == "-") return;
  struct stat st {};
  rotates_ = ::stat(file.c_str(), &st) != 0 || S_ISREG(st.st_mode);
  const std::size_t slash = file.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = file.rfind('.');
  // A name that only begins with a dot (.jsonl) has no extension.
  const bool has_extension = dot != std::string::npos && dot > base;
  stem_ = has_extension ? file.substr(0, dot) : file;
  extension_ = has_extension ? file.substr(dot) : "";
}

std::string RunFiles::Claim(const LocalTime& time, std::string* error) const {
  if (!rotates_) return file_;
  char minute[32];
  std::snprintf(minute, sizeof minute, "_%04u_%02u_%02u_%02u_%02u", time.year, time.month, time.day,
                time.hour, time.minute);
  const std::string stem = stem_ + minute;
  std::vector<char> name(stem.size() + extension_.size() + 8);
  ExclusiveClaimer claimer;
  if (ClaimFreeName(stem.c_str(), extension_.c_str(), claimer, name.data(), name.size())) {
    return name.data();
  }
  *error = "--json: no file for the new run beside " + file_ + ": " +
           (claimer.error == EEXIST ? std::string("every name of the minute is taken")
                                    : std::strerror(claimer.error));
  return "";
}
