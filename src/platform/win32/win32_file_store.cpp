#include "platform/win32/win32_file_store.h"

#include "platform/win32/windows_api.h"

#include <cstdio>
#include <cwchar>

#include "platform/win32/wide_text.h"

namespace {

// The error code of this thread's last failed operation.
thread_local DWORD t_failure = 0;

// Keeps GetLastError() as the reason of a failure; returns false for the caller's convenience.
bool Failed() {
  t_failure = GetLastError();
  return false;
}

HANDLE ToHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

// The same for a call that answers a count: -1.
int FailedCount() {
  Failed();
  return -1;
}

// A file's place given to a wide-character call as an OVERLAPPED (the handle is not opened for
// overlapped work: the call still waits, but at that offset).
OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return at;
}

// Opens a file on a disk: a name may also lead to a device or a pipe ("COM1", "NUL",
// "\\.\pipe\..."), whose reads and writes can wait for ever, and which is refused.
FileHandle Open(const char* name, DWORD access, DWORD share, DWORD disposition, CreateFailure* why,
                DWORD flags = 0) {
  CreateFailure failure = CreateFailure::kRefused;
  const WideText wide_name(name);
  HANDLE file = INVALID_HANDLE_VALUE;
  t_failure = ERROR_INVALID_NAME;
  if (wide_name.valid() && wide_name.get()[0] != L'\0') {
    file = CreateFileW(wide_name.get(), access, share, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (file == INVALID_HANDLE_VALUE) t_failure = error;
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      failure = CreateFailure::kNameTaken;
    }
  }
  // A link or junction opened as itself (FILE_FLAG_OPEN_REPARSE_POINT) is no file to write.
  BY_HANDLE_FILE_INFORMATION info = {};
  if (file != INVALID_HANDLE_VALUE &&
      (GetFileType(file) != FILE_TYPE_DISK ||
       ((flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0 &&
        (!GetFileInformationByHandle(file, &info) ||
         (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) !=
             0)))) {
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    t_failure = ERROR_ACCESS_DENIED;
  }
  if (file == INVALID_HANDLE_VALUE && why != nullptr) *why = failure;
  return reinterpret_cast<FileHandle>(file);  // INVALID_HANDLE_VALUE is kInvalidFile
}

// The attributes of a name, INVALID_FILE_ATTRIBUTES when there is none. *absent tells a name
// that does not exist from one that cannot be asked about.
DWORD AttributesOf(const WideText& name, bool* absent) {
  const DWORD attributes = GetFileAttributesW(name.get());
  const DWORD error = GetLastError();
  *absent = attributes == INVALID_FILE_ATTRIBUTES &&
            (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
  return attributes;
}

// Not a plain file: a directory, a link or junction, a device.
constexpr DWORD kNoPlainFile =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

}  // namespace

std::size_t Win32FileStore::GetCurrentDir(char* buf, std::size_t cap) {
  if (cap > 0) buf[0] = '\0';
  wchar_t wide[WideText::kCapacity];
  const DWORD length = GetCurrentDirectoryW(WideText::kCapacity, wide);
  if (length == 0 || length >= WideText::kCapacity) return 0;
  const int bytes = Utf8FromWide(wide, static_cast<int>(length), buf, cap);
  if (bytes <= 0 || static_cast<std::size_t>(bytes) >= cap) {
    if (cap > 0) buf[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(bytes);
}

bool Win32FileStore::SetCurrentDir(const char* path) {
  const WideText wide_path(path);
  return wide_path.valid() && (SetCurrentDirectoryW(wide_path.get()) != 0 || Failed());
}

FileHandle Win32FileStore::OpenRead(const char* name) {
  return Open(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, nullptr);
}

FileHandle Win32FileStore::CreateNew(const char* name, CreateFailure* why) {
  return Open(name, GENERIC_WRITE, 0, CREATE_NEW, why);
}

FileHandle Win32FileStore::OpenAppend(const char* name, bool must_be_new, CreateFailure* why) {
  const FileHandle file =
      Open(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
           must_be_new ? CREATE_NEW : OPEN_ALWAYS, why, FILE_FLAG_OPEN_REPARSE_POINT);
  LARGE_INTEGER none = {};
  if (file != kInvalidFile && !SetFilePointerEx(ToHandle(file), none, nullptr, FILE_END)) {
    Failed();
    CloseHandle(ToHandle(file));
    if (why != nullptr) *why = CreateFailure::kRefused;
    return kInvalidFile;
  }
  return file;
}

int Win32FileStore::Read(FileHandle file, std::uint8_t* dst, int count) {
  if (count < 0) return -1;
  DWORD got = 0;
  if (!ReadFile(ToHandle(file), dst, static_cast<DWORD>(count), &got, nullptr))
    return FailedCount();
  return static_cast<int>(got);
}

int Win32FileStore::Write(FileHandle file, const std::uint8_t* src, int count) {
  if (count < 0) return -1;
  DWORD written = 0;
  if (!WriteFile(ToHandle(file), src, static_cast<DWORD>(count), &written, nullptr)) {
    return FailedCount();
  }
  if (written < static_cast<DWORD>(count)) t_failure = ERROR_DISK_FULL;
  return static_cast<int>(written);
}

int Win32FileStore::ReadAt(FileHandle file, std::int64_t offset, std::uint8_t* dst, int count) {
  if (count < 0 || offset < 0) return -1;
  OVERLAPPED at = At(offset);
  DWORD got = 0;
  if (!ReadFile(ToHandle(file), dst, static_cast<DWORD>(count), &got, &at)) {
    // Reading at or beyond the end is no failure: nothing is there.
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : FailedCount();
  }
  return static_cast<int>(got);
}

std::int64_t Win32FileStore::Size(FileHandle file) {
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(ToHandle(file), &size)) return FailedCount();
  return static_cast<std::int64_t>(size.QuadPart);
}

bool Win32FileStore::Truncate(FileHandle file, std::int64_t size) {
  LARGE_INTEGER at = {};
  at.QuadPart = size;
  const LARGE_INTEGER none = {};
  const HANDLE handle = ToHandle(file);
  return (SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) && SetEndOfFile(handle) &&
          SetFilePointerEx(handle, none, nullptr, FILE_END)) ||
         Failed();
}

bool Win32FileStore::SyncData(FileHandle file) {
  return FlushFileBuffers(ToHandle(file)) != 0 || Failed();
}

bool Win32FileStore::Close(FileHandle file) {
  if (file == kInvalidFile) return false;
  const HANDLE handle = ToHandle(file);
  // Flushing a file opened only for reading fails with access denied; that is no failure.
  const bool flushed =
      FlushFileBuffers(handle) != 0 || GetLastError() == ERROR_ACCESS_DENIED || Failed();
  const bool closed = CloseHandle(handle) != 0 || Failed();
  return flushed && closed;
}

bool Win32FileStore::TryLock(FileHandle file) {
  // Offset 2^62: far beyond the end of any file, so that the lock keeps no byte from a reader.
  OVERLAPPED at = At(std::int64_t{1} << 62);
  return LockFileEx(ToHandle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                    &at) != 0 ||
         Failed();
}

bool Win32FileStore::Replace(const char* from, const char* to) {
  const WideText wide_from(from);
  const WideText wide_to(to);
  bool absent = false;
  if (!wide_from.valid() || !wide_to.valid()) return false;
  const DWORD old = AttributesOf(wide_to, &absent);
  if (!absent) {
    if (old == INVALID_FILE_ATTRIBUTES || (old & (kNoPlainFile | FILE_ATTRIBUTE_READONLY)) != 0) {
      t_failure = ERROR_ACCESS_DENIED;
      return false;
    }
    const DWORD kept = old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (!SetFileAttributesW(wide_from.get(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
      return Failed();
    }
  }
  return MoveFileExW(wide_from.get(), wide_to.get(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
         Failed();
}

bool Win32FileStore::RenameNew(const char* from, const char* to, CreateFailure* why) {
  if (why != nullptr) *why = CreateFailure::kRefused;
  const WideText wide_from(from);
  const WideText wide_to(to);
  if (!wide_from.valid() || !wide_to.valid()) return false;
  // Without MOVEFILE_REPLACE_EXISTING the move fails on anything under the new name.
  if (MoveFileExW(wide_from.get(), wide_to.get(), MOVEFILE_WRITE_THROUGH) != 0) return true;
  const DWORD error = GetLastError();
  if ((error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) && why != nullptr)
    *why = CreateFailure::kNameTaken;
  return Failed();
}

bool Win32FileStore::Remove(const char* name) {
  const WideText wide_name(name);
  // No attributes (INVALID_FILE_ATTRIBUTES) have every bit set.
  if (!wide_name.valid()) return false;
  if ((GetFileAttributesW(wide_name.get()) & kNoPlainFile) != 0) return Failed();
  return DeleteFileW(wide_name.get()) != 0 || Failed();
}

bool Win32FileStore::SyncDirectory(const char* directory) {
  const WideText wide_name(directory);
  if (!wide_name.valid()) return false;
  const HANDLE dir = CreateFileW(wide_name.get(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (dir == INVALID_HANDLE_VALUE) {
    // A directory that this user may not open for writing is still flushed through the renames.
    return GetLastError() == ERROR_ACCESS_DENIED || Failed();
  }
  const bool flushed = FlushFileBuffers(dir) != 0 || GetLastError() == ERROR_INVALID_FUNCTION ||
                       GetLastError() == ERROR_ACCESS_DENIED ||
                       GetLastError() == ERROR_INVALID_PARAMETER || Failed();
  CloseHandle(dir);
  return flushed;
}

bool Win32FileStore::ListFiles(const char* directory,
                               const std::function<void(const char* name)>& visit) {
  char pattern[WideText::kCapacity];
  const int length = std::snprintf(pattern, sizeof pattern, "%s\\*", directory);
  const WideText wide_pattern(pattern);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof pattern || !wide_pattern.valid())
    return false;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(wide_pattern.get(), &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND || Failed();
  do {
    char name[WideText::kCapacity * 3];
    if ((found.dwFileAttributes & kNoPlainFile) == 0 &&
        Utf8FromWide(found.cFileName, static_cast<int>(wcslen(found.cFileName)), name,
                     sizeof name) > 0) {
      visit(name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

std::string Win32FileStore::LastFailure() {
  if (t_failure == 0) return {};
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, t_failure, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  char utf8[512];
  int bytes = length > 0 ? Utf8FromWide(text, static_cast<int>(length), utf8, sizeof utf8) : -1;
  if (text != nullptr) LocalFree(text);
  if (bytes <= 0) {
    std::snprintf(utf8, sizeof utf8, "error %lu", static_cast<unsigned long>(t_failure));
    return utf8;
  }
  std::string message(utf8);
  // The system's messages end with a line end (and sometimes a full stop before it).
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message;
}
