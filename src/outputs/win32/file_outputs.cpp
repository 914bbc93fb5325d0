// The JSON Lines' stream of the Windows program, through the Windows file functions. Handles are
// kept in the writers' int: Windows gives handles that fit in 32 bits so that 32- and 64-bit
// programs can share them, and INVALID_HANDLE_VALUE comes back as -1.
#include <windows.h>

#include <cstdint>

#include "outputs/line_output.h"
#include "outputs/win32/system_error.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_file_store.h"

namespace {

int Kept(std::intptr_t handle) {
  return static_cast<int>(handle);
}

HANDLE Handle(int kept) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(kept));
}

}  // namespace

LineOutput::LineOutput(int descriptor) : fd_(descriptor) {
  Examine();
}

void LineOutput::CloseDescriptor(int descriptor) {
  CloseHandle(Handle(descriptor));
}

void LineOutput::Examine() {
  regular_ = fd_ >= 0 && GetFileType(Handle(fd_)) == FILE_TYPE_DISK;
}

bool LineOutput::OpenStream(const std::string& file, std::string* error) {
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
    CloseStream();
    return false;
  }
  return true;
}

std::string LineOutput::DiskFileName(const std::string& file) {
  // The file store never opens a link or a junction as the file it leads to: such a name is
  // written as a stream, as the system follows it.
  const WideText name(file.c_str());
  const DWORD attributes = name.valid() ? GetFileAttributesW(name.get()) : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return "";
  return file;
}

FileStore* LineOutput::Files() {
  static Win32FileStore files;
  return &files;
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
