#include "outputs/line_output.h"

#include <algorithm>

LineOutput::~LineOutput() {
  file_.reset();  // flushed to the device as it closes
  CloseStream();
}

void LineOutput::CloseStream() {
  if (owned_) CloseDescriptor(fd_);
  fd_ = -1;
  owned_ = false;
  regular_ = false;
}

bool LineOutput::Open(const std::string& file, std::string* error) {
  if (!OpenStream(file, error)) return false;
  return !owned_ || !regular_ || AppendWhereOnDisk(file, error);
}

bool LineOutput::AppendWhereOnDisk(const std::string& file, std::string* error) {
  const std::string name = DiskFileName(file);
  if (name.empty()) return true;
  // The stream goes first: a file held open for writing may not be read on every system, and
  // AppendFile reads its last byte to end a line that a crash tore.
  CloseStream();
  AppendFile::Options options;
  options.lines = true;
  options.report = [this](const std::string& text) {
    if (report_) report_("--json " + text);
  };
  options.gap = [this](const AppendFile::Skipped& skipped) {
    return gap_ ? gap_(skipped_records_, skipped.bytes, file_->failure()) + '\n' : std::string();
  };
  auto appended = std::make_unique<AppendFile>();
  if (!appended->Open(Files(), name, std::move(options))) {
    *error = "--json " + file + ": " + appended->failure();
    return false;
  }
  file_ = std::move(appended);
  skipped_records_ = 0;
  return true;
}

bool LineOutput::Switch(const std::string& file, std::string* error) {
  const int old_fd = fd_;
  const bool old_owned = owned_;
  const bool old_regular = regular_;
  std::unique_ptr<AppendFile> old_file = std::move(file_);
  const std::uint64_t old_skipped = skipped_records_;
  owned_ = false;
  if (!Open(file, error)) {
    fd_ = old_fd;
    owned_ = old_owned;
    regular_ = old_regular;
    file_ = std::move(old_file);
    skipped_records_ = old_skipped;
    return false;
  }
  old_file.reset();  // flushed to the device as it closes
  if (old_owned) CloseDescriptor(old_fd);
  return true;
}

bool LineOutput::Append(const char* bytes, std::size_t count) {
  if (!file_) return false;
  if (file_->Append(reinterpret_cast<const std::uint8_t*>(bytes), count)) {
    skipped_records_ = 0;
    return true;
  }
  skipped_records_ += static_cast<std::uint64_t>(std::count(bytes, bytes + count, '\n'));
  return false;
}
