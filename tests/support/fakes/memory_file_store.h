// An in-memory file store: directories and files held in maps, with faults that tests can
// switch on (a directory that takes no new file, writes that fail after a number of bytes,
// closes that report a failed flush, a rename that fails).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "settings/file_store.h"

class MemoryFileStore : public FileStore {
 public:
  // Starts in the directory cwd, which exists.
  explicit MemoryFileStore(std::string cwd = "/home/operator");

  // --- The script -------------------------------------------------------------------------
  // A read-only directory: no file can be created, replaced or removed in it (existing files
  // still open for reading).
  void SetReadOnly(const std::string& directory, bool read_only);
  // Every write fails once this many more bytes have been written (a full disk); -1 for never.
  void FailWritesAfter(long bytes) { write_budget_ = bytes; }
  void FailCloses(bool fail) { fail_closes_ = fail; }
  void FailReplaces(bool fail) { fail_replaces_ = fail; }
  // Puts a file in place; name relative to the current directory unless absolute.
  void PutFile(const std::string& name, const std::vector<std::uint8_t>& bytes);

  // --- Inspection ---------------------------------------------------------------------------
  bool Exists(const std::string& name) const;
  // The bytes of a file (empty when it does not exist).
  std::vector<std::uint8_t> Bytes(const std::string& name) const;
  // Full paths of the files in a directory, sorted.
  std::vector<std::string> FilesIn(const std::string& directory) const;
  int OpenHandles() const { return static_cast<int>(open_.size()); }

  // --- FileStore ------------------------------------------------------------------------------
  std::size_t GetCurrentDir(char* buf, std::size_t cap) override;
  bool SetCurrentDir(const char* path) override;
  FileHandle OpenRead(const char* name) override;
  FileHandle CreateNew(const char* name, CreateFailure* why) override;
  int Read(FileHandle file, std::uint8_t* dst, int count) override;
  int Write(FileHandle file, const std::uint8_t* src, int count) override;
  bool Sync(FileHandle file) override { return open_.count(file) != 0; }
  bool Close(FileHandle file) override;
  bool Replace(const char* from, const char* to) override;
  bool Remove(const char* name) override;

 private:
  struct OpenFile {
    std::string path;
    bool writing = false;
    std::size_t position = 0;
  };

  std::string FullPath(const std::string& name) const;
  static std::string DirectoryOf(const std::string& path);
  bool Writable(const std::string& path) const;
  FileHandle OpenForWriting(const std::string& path);

  std::string cwd_;
  std::set<std::string> directories_;
  std::set<std::string> read_only_;
  std::map<std::string, std::vector<std::uint8_t>> files_;
  std::map<FileHandle, OpenFile> open_;
  FileHandle next_handle_ = 3;
  long write_budget_ = -1;
  bool fail_closes_ = false;
  bool fail_replaces_ = false;
};
