// The file operations that the monitor needs: the process's current directory, whole small files
// read and written in one go, files appended to for a long time, flushing to the device,
// replacing one file by another and naming a file where no file is yet. Names are UTF-8 and
// relative to the current directory unless absolute.
//
// Every file is opened so that it cannot hang the monitor or lead it elsewhere: only regular
// files are read or written (a pipe, a device or a directory under the name is refused, and no
// open waits for one), and a new file is created only where the name was free, never through a
// link.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;

// Why a file could not be created.
enum class CreateFailure {
  kNone,
  kNameTaken,  // something exists under the name, whatever it is
  kRefused,    // anything else: a directory that takes no file, a name that cannot be
};

class FileStore {
 public:
  virtual ~FileStore() = default;

  // Copies the current directory into buf; returns its length, or 0 when it does not fit or
  // cannot be told.
  virtual std::size_t GetCurrentDir(char* buf, std::size_t cap) = 0;
  // Makes path the current directory; false when it cannot.
  virtual bool SetCurrentDir(const char* path) = 0;

  // Opens an existing regular file for reading (a link to one is followed).
  virtual FileHandle OpenRead(const char* name) = 0;
  // Creates a file for writing where nothing exists under the name yet. On failure *why (when
  // given) says whether the name was taken.
  virtual FileHandle CreateNew(const char* name, CreateFailure* why) = 0;
  // Opens a regular file for appending: every write goes to its end. It is created where nothing
  // exists under the name, and with must_be_new only then (*why as for CreateNew). Other handles
  // of this process may open it too, for reading or for appending; another process may only read.
  virtual FileHandle OpenAppend(const char* name, bool must_be_new, CreateFailure* why) = 0;

  // Return the number of bytes transferred, or -1.
  virtual int Read(FileHandle file, std::uint8_t* dst, int count) = 0;
  virtual int Write(FileHandle file, const std::uint8_t* src, int count) = 0;
  // Reads at an offset of a file opened for reading (its position is not to be relied on after).
  virtual int ReadAt(FileHandle file, std::int64_t offset, std::uint8_t* dst, int count) = 0;
  // The file's size in bytes, or -1.
  virtual std::int64_t Size(FileHandle file) = 0;
  // Cuts a file open for writing back to size bytes; appends go on from there.
  virtual bool Truncate(FileHandle file, std::int64_t size) = 0;
  // Flushes what was written to the device, so that it survives a power cut; the file stays
  // open. Another thread may call it while the file's owner writes: a write never waits for it.
  virtual bool SyncData(FileHandle file) = 0;
  // Flushes what was written to the device and closes; false when that failed.
  virtual bool Close(FileHandle file) = 0;
  // Takes the mark of this process's use of an open file, held until it is closed: false when
  // another process (another monitor in the same directory) holds it. Never waits.
  virtual bool TryLock(FileHandle file) = 0;

  // Puts the file from in the place of to in one step (from then no longer exists); to, when it
  // exists, must be a regular file that this user may write by its permissions (as a read-only
  // file refuses writes on any system), and the new file takes over those permissions. False,
  // with both left as they were, when it cannot.
  virtual bool Replace(const char* from, const char* to) = 0;
  // Gives the file from the name to where nothing exists under it yet, in one step; false, with
  // both left as they were, when it cannot (*why, when given, kNameTaken when to is taken).
  virtual bool RenameNew(const char* from, const char* to, CreateFailure* why) = 0;
  // Removes a regular file; anything else under the name is left alone (false).
  virtual bool Remove(const char* name) = 0;
  // Makes the names in a directory ("." for the current one) reach the device after files were
  // created, renamed or removed in it, so that a power cut cannot take the change back.
  virtual bool SyncDirectory(const char* directory) = 0;
  // Calls visit with the name (without the directory) of each regular file in a directory;
  // false when the directory cannot be read.
  virtual bool ListFiles(const char* directory,
                         const std::function<void(const char* name)>& visit) = 0;

  // Why the last failed operation of the calling thread failed, in the system's words ("No space
  // left on device"); empty when that cannot be told.
  virtual std::string LastFailure() = 0;
};
