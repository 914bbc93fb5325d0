// The CSV files and the JSON Lines file of the Windows program, through the Windows file
// functions. Handles are kept in the writers' int: Windows gives handles that fit in 32 bits so
// that 32- and 64-bit programs can share them, and INVALID_HANDLE_VALUE comes back as -1.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "outputs/csv_row_file.h"
#include "outputs/line_output.h"
#include "outputs/win32/system_error.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_file_store.h"
#include "settings/free_name.h"

namespace {

int Kept(std::intptr_t handle) {
  return static_cast<int>(handle);
}

HANDLE Handle(int kept) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(kept));
}

}  // namespace

bool CsvRowFile::Begin(const char* header, std::string* problem) {
  Discard();
  // Windows has no unnamed files: a named stand-in of this process takes the rows until the
  // export names the file. A program that dies leaves it behind, which no export ever takes.
  Win32FileStore store;
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    const std::string name = ".wsmon-run-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(attempt) + ".csv";
    CreateFailure why = CreateFailure::kNone;
    const FileHandle file = store.CreateNew(name.c_str(), &why);
    if (file != kInvalidFile) {
      fd_ = Kept(file);
      temp_name_ = name;
    } else if (why != CreateFailure::kNameTaken) {
      break;
    }
  }
  if (fd_ < 0) {
    *problem =
        "--csv: no file can be made in the start directory: " + SystemErrorText(GetLastError());
    return false;
  }
  Append(header, std::strlen(header));
  return true;
}

bool CsvRowFile::Flush() {
  const int count = static_cast<int>(used_);
  if (error_ == 0 && count > 0 && Win32FileStore().Write(fd_, buffer_, count) != count) {
    const DWORD error = GetLastError();
    error_ = error != 0 ? static_cast<int>(error) : ERROR_WRITE_FAULT;
  }
  used_ = 0;  // after a failure the file is incomplete anyway: it will not be published
  return error_ == 0;
}

bool CsvRowFile::Name(const std::string& name) {
  // The name is claimed by creating a file under it, which fails where anything exists; the
  // rows then take its place in one step.
  Win32FileStore store;
  CreateFailure why = CreateFailure::kNone;
  const FileHandle claim = store.CreateNew(name.c_str(), &why);
  if (claim == kInvalidFile) {
    if (why == CreateFailure::kNameTaken) SetLastError(ERROR_FILE_EXISTS);
    return false;
  }
  store.Close(claim);
  if (store.Replace(temp_name_.c_str(), name.c_str())) {
    temp_name_.clear();
    return true;
  }
  const DWORD error = GetLastError();
  store.Remove(name.c_str());
  SetLastError(error);
  return false;
}

bool CsvRowFile::Publish(const std::string& base, std::string* name, std::string* problem) {
  if (fd_ < 0) return false;
  // Written through to the disk and closed before the name is given: a named file is whole.
  const bool flushed = Flush();
  const bool complete = Win32FileStore().Close(fd_) && flushed;
  fd_ = -1;
  SetLastError(0);
  struct Claimer : NameClaimer {
    explicit Claimer(CsvRowFile* f) : file(f) {}
    NameClaim Claim(const char* candidate) override {
      if (file->Name(candidate)) return NameClaim::kClaimed;
      const DWORD error = GetLastError();
      return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NameClaim::kTaken
                                                                         : NameClaim::kFailed;
    }
    CsvRowFile* file;
  } claimer(this);
  std::vector<char> candidate(base.size() + 16);  // room for "_999.csv"
  const bool named =
      complete && ClaimFreeName(base.c_str(), ".csv", claimer, candidate.data(), candidate.size());
  *name = candidate.data();
  if (!named) {
    const DWORD error = error_ != 0 ? static_cast<DWORD>(error_) : GetLastError();
    *problem = "--csv: " + base + ".csv not written: " + SystemErrorText(error);
  }
  Discard();
  return named;
}

void CsvRowFile::Discard() {
  Win32FileStore store;
  if (fd_ >= 0) store.Close(fd_);
  if (!temp_name_.empty()) store.Remove(temp_name_.c_str());
  fd_ = -1;
  temp_name_.clear();
  error_ = 0;
  used_ = 0;
}

LineOutput::LineOutput(int descriptor) : fd_(descriptor) {
  Examine();
}

LineOutput::~LineOutput() {
  if (owned_) CloseHandle(Handle(fd_));
}

void LineOutput::Examine() {
  regular_ = fd_ >= 0 && GetFileType(Handle(fd_)) == FILE_TYPE_DISK;
}

bool LineOutput::Open(const std::string& file, std::string* error) {
  const std::string head = "--json " + file + ": ";
  if (file.empty() || file == "-") {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
      *error = head + "wsmon.exe has no standard output here; give a file";
      return false;
    }
    fd_ = Kept(reinterpret_cast<std::intptr_t>(out));
  } else {
    const WideText name(file.c_str());
    // Appended to, so that an earlier session's records are never lost; shared for reading so
    // that a viewer may follow it.
    const HANDLE out =
        name.valid() ? CreateFileW(name.get(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                     : INVALID_HANDLE_VALUE;
    if (out == INVALID_HANDLE_VALUE) {
      *error = head + SystemErrorText(name.valid() ? GetLastError() : ERROR_INVALID_NAME);
      return false;
    }
    fd_ = Kept(reinterpret_cast<std::intptr_t>(out));
    owned_ = true;
  }
  Examine();
  // Standard output may also be the console, which takes every write at once.
  if (!owned_ && GetFileType(Handle(fd_)) == FILE_TYPE_CHAR) regular_ = true;
  if (!regular_) {
    // A pipe or a device takes writes only while its reader reads, and Windows cannot tell
    // beforehand whether one would wait: the monitor's window would stop with it.
    *error = head + "not a file on a disk (a pipe or a device could stop the monitor)";
    return false;
  }
  return true;
}

bool LineOutput::Switch(const std::string& file, std::string* error) {
  const int old_fd = fd_;
  const bool old_owned = owned_;
  const bool old_regular = regular_;
  owned_ = false;
  if (!Open(file, error)) {
    // Open may fail after it opened the file (one it refuses).
    if (owned_ && fd_ != old_fd) CloseHandle(Handle(fd_));
    fd_ = old_fd;
    owned_ = old_owned;
    regular_ = old_regular;
    return false;
  }
  if (old_owned) CloseHandle(Handle(old_fd));
  return true;
}

std::size_t LineOutput::chunk(std::size_t limit) const {
  return limit;
}

long LineOutput::Write(const char* bytes, std::size_t count, int* error) {
  DWORD written = 0;
  const DWORD offered = static_cast<DWORD>(count > 0x10000000 ? 0x10000000 : count);
  if (!WriteFile(Handle(fd_), bytes, offered, &written, nullptr)) {
    *error = static_cast<int>(GetLastError());
    return -1;
  }
  return static_cast<long>(written);
}

void LineOutput::WaitWritable(int) {}

std::string LineOutput::ErrorText(int error) {
  return SystemErrorText(static_cast<unsigned long>(error));
}
