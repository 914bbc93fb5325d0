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
  // Shared for reading and writing within this process; never a link or a junction.
  FileHandle OpenAppend(const char* name, bool must_be_new, CreateFailure* why) override;
  int Read(FileHandle file, std::uint8_t* dst, int count) override;
  int Write(FileHandle file, const std::uint8_t* src, int count) override;
  int ReadAt(FileHandle file, std::int64_t offset, std::uint8_t* dst, int count) override;
  std::int64_t Size(FileHandle file) override;
  bool Truncate(FileHandle file, std::int64_t size) override;
  // FlushFileBuffers.
  bool SyncData(FileHandle file) override;
  bool Close(FileHandle file) override;
  // LockFileEx on one byte far beyond any data: a mark that stops no read or write.
  bool TryLock(FileHandle file) override;
  // MoveFileExW with MOVEFILE_WRITE_THROUGH: it returns once the new name is on the disk.
  bool Replace(const char* from, const char* to) override;
  bool RenameNew(const char* from, const char* to, CreateFailure* why) override;
  bool Remove(const char* name) override;
  // FlushFileBuffers on the directory where the file system allows it; where it does not, the
  // renames, written through, have already reached the disk.
  bool SyncDirectory(const char* directory) override;
  bool ListFiles(const char* directory,
                 const std::function<void(const char* name)>& visit) override;
  // The system's message for the error code of the failure.
  std::string LastFailure() override;
};
