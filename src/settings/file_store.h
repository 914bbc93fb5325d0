// The file operations that the monitor needs: the process's current directory, whole small files
// read and written in one go, and replacing one file by another. Names are UTF-8 and relative
// to the current directory unless absolute.
//
// Every file is opened so that it cannot hang the monitor or lead it elsewhere: only regular
// files are read or written (a pipe, a device or a directory under the name is refused, and no
// open waits for one), and a new file is created only where the name was free, never through a
// link.
#pragma once

#include <cstddef>
#include <cstdint>

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

  // Return the number of bytes transferred, or -1.
  virtual int Read(FileHandle file, std::uint8_t* dst, int count) = 0;
  virtual int Write(FileHandle file, const std::uint8_t* src, int count) = 0;
  // Flushes what was written so far to the device, the file staying open; false when that
  // failed.
  virtual bool Sync(FileHandle file) = 0;
  // Flushes what was written to the device and closes; false when that failed.
  virtual bool Close(FileHandle file) = 0;

  // Puts the file from in the place of to in one step (from then no longer exists); to, when it
  // exists, must be a regular file that this user may write by its permissions (as a read-only
  // file refuses writes on any system), and the new file takes over those permissions. False,
  // with both left as they were, when it cannot.
  virtual bool Replace(const char* from, const char* to) = 0;
  // Removes a regular file; anything else under the name is left alone (false).
  virtual bool Remove(const char* name) = 0;
};
