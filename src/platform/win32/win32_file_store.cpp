#include "platform/win32/win32_file_store.h"

#include "platform/win32/windows_api.h"

#include "platform/win32/wide_text.h"

namespace {

HANDLE ToHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

FileHandle Open(const char* name, DWORD access, DWORD share, DWORD disposition) {
  const WideText wide_name(name);
  if (!wide_name.valid() || wide_name.get()[0] == L'\0') return kInvalidFile;
  const HANDLE file = CreateFileW(wide_name.get(), access, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<FileHandle>(file);  // INVALID_HANDLE_VALUE is kInvalidFile
}

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
  return Open(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

FileHandle Win32FileStore::CreateNew(const char* name) {
  return Open(name, GENERIC_WRITE, 0, CREATE_NEW);
}

FileHandle Win32FileStore::CreateAlways(const char* name) {
  return Open(name, GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_ALWAYS);
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
  if (!wide_from.valid() || !wide_to.valid()) return false;
  return MoveFileExW(wide_from.get(), wide_to.get(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Win32FileStore::Remove(const char* name) {
  const WideText wide_name(name);
  return wide_name.valid() && DeleteFileW(wide_name.get()) != 0;
}
