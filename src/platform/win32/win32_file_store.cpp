#include "platform/win32/win32_file_store.h"

#include "platform/win32/windows_api.h"

#include "platform/win32/wide_text.h"

namespace {

HANDLE ToHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

// Opens a file on a disk: a name may also lead to a device or a pipe ("COM1", "NUL",
// "\\.\pipe\..."), whose reads and writes can wait for ever, and which is refused.
FileHandle Open(const char* name, DWORD access, DWORD share, DWORD disposition,
                CreateFailure* why) {
  CreateFailure failure = CreateFailure::kRefused;
  const WideText wide_name(name);
  HANDLE file = INVALID_HANDLE_VALUE;
  if (wide_name.valid() && wide_name.get()[0] != L'\0') {
    file = CreateFileW(wide_name.get(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      failure = CreateFailure::kNameTaken;
    }
  }
  if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
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
  return wide_path.valid() && SetCurrentDirectoryW(wide_path.get()) != 0;
}

FileHandle Win32FileStore::OpenRead(const char* name) {
  return Open(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, nullptr);
}

FileHandle Win32FileStore::CreateNew(const char* name, CreateFailure* why) {
  return Open(name, GENERIC_WRITE, 0, CREATE_NEW, why);
}

int Win32FileStore::Read(FileHandle file, std::uint8_t* dst, int count) {
  if (count < 0) return -1;
  DWORD got = 0;
  if (!ReadFile(ToHandle(file), dst, static_cast<DWORD>(count), &got, nullptr)) return -1;
  return static_cast<int>(got);
}

int Win32FileStore::Write(FileHandle file, const std::uint8_t* src, int count) {
  if (count < 0) return -1;
  DWORD written = 0;
  if (!WriteFile(ToHandle(file), src, static_cast<DWORD>(count), &written, nullptr)) return -1;
  return static_cast<int>(written);
}

bool Win32FileStore::Sync(FileHandle file) {
  return file != kInvalidFile && FlushFileBuffers(ToHandle(file)) != 0;
}

bool Win32FileStore::Close(FileHandle file) {
  if (file == kInvalidFile) return false;
  const HANDLE handle = ToHandle(file);
  // Flushing a file opened only for reading fails with access denied; that is no failure.
  const bool flushed = FlushFileBuffers(handle) != 0 || GetLastError() == ERROR_ACCESS_DENIED;
  const bool closed = CloseHandle(handle) != 0;
  return flushed && closed;
}

bool Win32FileStore::Replace(const char* from, const char* to) {
  const WideText wide_from(from);
  const WideText wide_to(to);
  bool absent = false;
  if (!wide_from.valid() || !wide_to.valid()) return false;
  const DWORD old = AttributesOf(wide_to, &absent);
  if (!absent) {
    if (old == INVALID_FILE_ATTRIBUTES || (old & (kNoPlainFile | FILE_ATTRIBUTE_READONLY)) != 0) {
      return false;
    }
    const DWORD kept = old & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (!SetFileAttributesW(wide_from.get(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
      return false;
    }
  }
  return MoveFileExW(wide_from.get(), wide_to.get(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Win32FileStore::Remove(const char* name) {
  const WideText wide_name(name);
  // No attributes (INVALID_FILE_ATTRIBUTES) have every bit set.
  return wide_name.valid() && (GetFileAttributesW(wide_name.get()) & kNoPlainFile) == 0 &&
         DeleteFileW(wide_name.get()) != 0;
}
