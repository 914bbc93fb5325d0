#include "storage/whole_file.h"

#include <cstring>

#include "settings/free_name.h"

namespace {

// Bytes gathered before a write: a write per line would make a long export take seconds.
constexpr std::size_t kPieceSize = 64 * 1024;

}  // namespace

bool WholeFile::Begin(FileStore* files, const char* stem, const char* extension) {
  Abandon();
  files_ = files;
  stem_ = stem;
  extension_ = extension;
  failed_ = false;
  name_flushed_ = false;
  failure_.clear();
  pending_.clear();
  pending_.reserve(kPieceSize);
  struct Claimer : NameClaimer {
    explicit Claimer(FileStore* f) : files(f) {}
    NameClaim Claim(const char* name) override {
      CreateFailure why = CreateFailure::kNone;
      file = files->CreateNew(name, &why);
      if (file != kInvalidFile) return NameClaim::kClaimed;
      return why == CreateFailure::kNameTaken ? NameClaim::kTaken : NameClaim::kFailed;
    }
    FileStore* files;
    FileHandle file = kInvalidFile;
  } claimer(files);
  char name[512];
  const std::string temp_extension = extension_ + ".tmp";
  if (!ClaimFreeName(stem, temp_extension.c_str(), claimer, name, sizeof name)) {
    failure_ = files->LastFailure();
    return false;
  }
  file_ = claimer.file;
  temp_name_ = name;
  return true;
}

bool WholeFile::Write(const std::uint8_t* bytes, std::size_t count) {
  if (file_ == kInvalidFile || failed_) return false;
  while (count > 0) {
    const std::size_t n =
        count < kPieceSize - pending_.size() ? count : kPieceSize - pending_.size();
    pending_.insert(pending_.end(), bytes, bytes + n);
    bytes += n;
    count -= n;
    if (pending_.size() == kPieceSize && !Flush()) return false;
  }
  return true;
}

bool WholeFile::Flush() {
  if (file_ == kInvalidFile || failed_) return false;
  const int n = static_cast<int>(pending_.size());
  if (n > 0 && files_->Write(file_, pending_.data(), n) != n) Fail();
  pending_.clear();
  return !failed_;
}

void WholeFile::Fail() {
  if (failed_) return;
  failed_ = true;
  failure_ = files_->LastFailure();
  if (failure_.empty()) failure_ = "a write fell short";
}

WholeFile::Published WholeFile::Publish(char* name, std::size_t cap) {
  if (file_ == kInvalidFile) return Published::kNotWritten;
  if (!failed_) Flush();
  // Close flushes the bytes to the device.
  if (!files_->Close(file_)) Fail();
  file_ = kInvalidFile;
  if (failed_) {
    Abandon();
    return Published::kNotWritten;
  }
  if (!RenameToFreeName(files_, temp_name_.c_str(), stem_.c_str(), extension_.c_str(), name, cap)) {
    failure_ = files_->LastFailure();
    Abandon();
    return Published::kNotNamed;
  }
  temp_name_.clear();
  name_flushed_ = files_->SyncDirectory(".");
  if (!name_flushed_) failure_ = files_->LastFailure();
  return Published::kDone;
}

void WholeFile::Abandon() {
  if (files_ == nullptr) return;
  if (file_ != kInvalidFile) files_->Close(file_);
  file_ = kInvalidFile;
  if (!temp_name_.empty()) files_->Remove(temp_name_.c_str());
  temp_name_.clear();
  pending_.clear();
}

bool RenameToFreeName(FileStore* files, const char* from, const char* stem, const char* extension,
                      char* name, std::size_t cap) {
  struct Claimer : NameClaimer {
    Claimer(FileStore* f, const char* old_name) : files(f), from(old_name) {}
    NameClaim Claim(const char* candidate) override {
      CreateFailure why = CreateFailure::kNone;
      if (files->RenameNew(from, candidate, &why)) return NameClaim::kClaimed;
      return why == CreateFailure::kNameTaken ? NameClaim::kTaken : NameClaim::kFailed;
    }
    FileStore* files;
    const char* from;
  } claimer(files, from);
  return ClaimFreeName(stem, extension, claimer, name, cap);
}
