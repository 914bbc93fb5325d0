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
  // O_APPEND; never through a link (O_NOFOLLOW).
  FileHandle OpenAppend(const char* name, bool must_be_new, CreateFailure* why) override;
  int Read(FileHandle file, std::uint8_t* dst, int count) override;
  int Write(FileHandle file, const std::uint8_t* src, int count) override;
  int ReadAt(FileHandle file, std::int64_t offset, std::uint8_t* dst, int count) override;
  std::int64_t Size(FileHandle file) override;
  bool Truncate(FileHandle file, std::int64_t size) override;
  // fdatasync: the data and the size, not the times.
  bool SyncData(FileHandle file) override;
  // Flushes to the device (fsync) before closing; false when either failed.
  bool Close(FileHandle file) override;
  // flock(LOCK_EX | LOCK_NB): other processes that ask for it are refused while it is held.
  bool TryLock(FileHandle file) override;
  // rename(): atomic within one file system.
  bool Replace(const char* from, const char* to) override;
  // renameat2(RENAME_NOREPLACE); where the file system has no such rename, link() and unlink(),
  // which never replace a file either.
  bool RenameNew(const char* from, const char* to, CreateFailure* why) override;
  bool Remove(const char* name) override;
  // fsync() of the directory itself.
  bool SyncDirectory(const char* directory) override;
  bool ListFiles(const char* directory,
                 const std::function<void(const char* name)>& visit) override;
  // strerror() of the errno that the failure left.
  std::string LastFailure() override;
};
