#include "service/run_files.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "settings/free_name.h"

namespace {

class NewFileClaimer : public NameClaimer {
 public:
  explicit NewFileClaimer(FileStore* files) : files_(files) {}
  NameClaim Claim(const char* name) override {
    CreateFailure why = CreateFailure::kNone;
    file = files_->CreateNew(name, &why);
    if (file != kInvalidFile) return NameClaim::kClaimed;
    taken = why == CreateFailure::kNameTaken;
    failure = files_->LastFailure();
    return taken ? NameClaim::kTaken : NameClaim::kFailed;
  }
  FileHandle file = kInvalidFile;
  bool taken = false;  // the last name tried was taken
  std::string failure;

 private:
  FileStore* files_;
};

}  // namespace

RunFiles::RunFiles(std::string option, const std::string& file, bool rotates, FileStore* files)
    : option_(std::move(option)), file_(file), rotates_(rotates && !file.empty()), files_(files) {
  if (!rotates_) return;
  // Either separator: a Windows path may have both.
  const std::size_t slash = file.find_last_of("/\\");
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = file.rfind('.');
  // A name that only begins with a dot (.jsonl) has no extension.
  const bool has_extension = dot != std::string::npos && dot > base;
  stem_ = has_extension ? file.substr(0, dot) : file;
  extension_ = has_extension ? file.substr(dot) : "";
}

std::string RunFiles::Claim(const LocalTime& time, std::string* error, FileHandle* handle) const {
  if (!rotates_) return file_;
  char minute[32];
  std::snprintf(minute, sizeof minute, "_%04u_%02u_%02u_%02u_%02u", time.year, time.month, time.day,
                time.hour, time.minute);
  const std::string stem = stem_ + minute;
  std::vector<char> name(stem.size() + extension_.size() + 8);
  NewFileClaimer claimer(files_);
  if (ClaimFreeName(stem.c_str(), extension_.c_str(), claimer, name.data(), name.size())) {
    if (handle != nullptr) {
      *handle = claimer.file;
    } else {
      files_->Close(claimer.file);
    }
    return name.data();
  }
  *error = option_ + ": no file for the new run beside " + file_ + ": " +
           (claimer.taken             ? std::string("every name of the minute is taken")
            : claimer.failure.empty() ? std::string("it cannot be created there")
                                      : claimer.failure);
  return "";
}
