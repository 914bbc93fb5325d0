// Real files and directories through the POSIX calls.
#pragma once

#include "settings/file_store.h"

class PosixFileStore : public FileStore {
 public:
  std::size_t GetCurrentDir(char* buf, std::size_t cap) override;
  bool SetCurrentDir(const char* path) override;
  FileHandle OpenRead(const char* name) override;
  // O_EXCL: fails on anything under the name, a link to nowhere included.
  FileHandle CreateNew(const char* name, CreateFailure* why) override;
  int Read(FileHandle file, std::uint8_t* dst, int count) override;
  int Write(FileHandle file, const std::uint8_t* src, int count) override;
  // fdatasync: the data and what is needed to read it back (the length), not the times.
  bool Sync(FileHandle file) override;
  // Flushes to the device (fsync) before closing; false when either failed.
  bool Close(FileHandle file) override;
  // rename(): atomic within one file system.
  bool Replace(const char* from, const char* to) override;
  bool Remove(const char* name) override;
};
