// An in-memory file store: directories and files held in maps, with faults that tests can
// switch on (a directory that takes no new file, writes that fail after a number of bytes,
// closes that report a failed flush, a rename that fails), and a device under it: each file's
// bytes reach it when they are flushed (SyncData, Close), each directory's names when the
// directory is flushed, so that a test can cut the power and see what a restart would find.
// A file that is open cannot be removed, as on Windows. Safe to use from several threads, as the
// helper thread of an appended file does.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "settings/file_store.h"

class MemoryFileStore : public FileStore {
 public:
  // Starts in the directory cwd, which exists.
  explicit MemoryFileStore(std::string cwd = "/home/operator");
  // A fresh store in place of this one (every handle of the old one is gone).
  MemoryFileStore& operator=(MemoryFileStore&& other) noexcept;

  // --- The script -------------------------------------------------------------------------
  // A read-only directory: no file can be created, replaced or removed in it (existing files
  // still open for reading).
  void SetReadOnly(const std::string& directory, bool read_only);
  // Every write fails once this many more bytes have been written (a full disk); -1 for never.
  void FailWritesAfter(long bytes) { Set(write_budget_, bytes); }
  void FailCloses(bool fail) { Set(fail_closes_, fail); }
  void FailReplaces(bool fail) { Set(fail_replaces_, fail); }
  // Puts a file in place, already on the device; name relative to the current directory unless
  // absolute.
  void PutFile(const std::string& name, const std::vector<std::uint8_t>& bytes);
  // The power goes: every handle is gone, and each file is what reached the device under the
  // names that reached it (as they were at the cut that CutPowerAfter set, when it came).
  void PowerCut();
  // The power goes after this many more operations that change files or names (writes,
  // flushes, closes, renames, removals, new files) made by the calling thread; the program goes
  // on until PowerCut.
  void CutPowerAfter(int operations);
  // Whether the cut that CutPowerAfter set has come.
  bool PowerWasCut() const;

  // --- Inspection ---------------------------------------------------------------------------
  bool Exists(const std::string& name) const;
  // The bytes of a file (empty when it does not exist).
  std::vector<std::uint8_t> Bytes(const std::string& name) const;
  // Full paths of the files in a directory, sorted.
  std::vector<std::string> FilesIn(const std::string& directory) const;
  int OpenHandles() const;
  // Writes, by path, that any handle made so far.
  int WritesTo(const std::string& name) const;
  // Whether a file's bytes and its name have all reached the device.
  bool OnDevice(const std::string& name) const;

  // --- FileStore ------------------------------------------------------------------------------
  std::size_t GetCurrentDir(char* buf, std::size_t cap) override;
  bool SetCurrentDir(const char* path) override;
  FileHandle OpenRead(const char* name) override;
  FileHandle CreateNew(const char* name, CreateFailure* why) override;
  FileHandle OpenAppend(const char* name, bool must_be_new, CreateFailure* why) override;
  int Read(FileHandle file, std::uint8_t* dst, int count) override;
  int Write(FileHandle file, const std::uint8_t* src, int count) override;
  int ReadAt(FileHandle file, std::int64_t offset, std::uint8_t* dst, int count) override;
  std::int64_t Size(FileHandle file) override;
  bool Truncate(FileHandle file, std::int64_t size) override;
  bool SyncData(FileHandle file) override;
  bool Close(FileHandle file) override;
  bool TryLock(FileHandle file) override;
  bool Replace(const char* from, const char* to) override;
  bool RenameNew(const char* from, const char* to, CreateFailure* why) override;
  bool Remove(const char* name) override;
  bool SyncDirectory(const char* directory) override;
  bool ListFiles(const char* directory,
                 const std::function<void(const char* name)>& visit) override;
  std::string LastFailure() override;

 private:
  // A file's contents, apart from the names it has.
  struct Node {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> on_device;  // as of the last flush
  };
  using NodeRef = std::shared_ptr<Node>;
  struct OpenFile {
    std::string path;
    NodeRef node;
    bool writing = false;
    bool locked = false;
    std::size_t position = 0;
  };

  std::string FullPath(const std::string& name) const;
  static std::string DirectoryOf(const std::string& path);
  bool Writable(const std::string& path) const;
  OpenFile* Find(FileHandle file);
  FileHandle Add(OpenFile file);
  bool Fail(const char* why);
  // Gives the file source the name target (replacing what is there).
  bool Move(const std::string& source, const std::string& target);
  template <class T>
  void Set(T& field, T value) {
    std::lock_guard<std::mutex> lock(mutex_);
    field = value;
  }
  // Counts an operation that changes files or names, for CutPowerAfter.
  void Step();
  std::map<std::string, std::vector<std::uint8_t>> DeviceNow() const;

  mutable std::mutex mutex_;
  std::string cwd_;
  std::set<std::string> directories_;
  std::set<std::string> read_only_;
  std::map<std::string, NodeRef> files_;
  std::map<std::string, NodeRef> on_device_;  // the names as the device holds them
  std::map<FileHandle, OpenFile> open_;
  std::map<std::string, int> writes_;
  FileHandle next_handle_ = 3;
  long write_budget_ = -1;
  bool fail_closes_ = false;
  bool fail_replaces_ = false;
  std::string failure_;
  int steps_to_cut_ = -1;
  std::thread::id cut_thread_;
  bool cut_taken_ = false;
  std::map<std::string, std::vector<std::uint8_t>> at_cut_;
};
