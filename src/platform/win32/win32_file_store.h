// Files through the Windows file functions; UTF-8 names are converted to wide names, so a name
// in any script works whatever the system's code page.
#pragma once

#include "settings/file_store.h"

class Win32FileStore : public FileStore {
 public:
  std::size_t GetCurrentDir(char* buf, std::size_t cap) override;
  bool SetCurrentDir(const char* path) override;
  FileHandle OpenRead(const char* name) override;
  // CREATE_NEW: fails on anything under the name, a link included.
  FileHandle CreateNew(const char* name, CreateFailure* why) override;
  int Read(FileHandle file, std::uint8_t* dst, int count) override;
  int Write(FileHandle file, const std::uint8_t* src, int count) override;
  bool Sync(FileHandle file) override;
  bool Close(FileHandle file) override;
  bool Replace(const char* from, const char* to) override;
  bool Remove(const char* name) override;
};
