// The file operations that the monitor needs: the process's current directory, whole small files
// read and written in one go, and replacing one file by another. Names are UTF-8 and relative
// to the current directory unless absolute.
#pragma once

#include <cstddef>
#include <cstdint>

using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;

class FileStore {
 public:
  virtual ~FileStore() = default;

  // Copies the current directory into buf; returns its length, or 0 when it does not fit or
  // cannot be told.
  virtual std::size_t GetCurrentDir(char* buf, std::size_t cap) = 0;
  // Makes path the current directory; false when it cannot.
  virtual bool SetCurrentDir(const char* path) = 0;

  // Opens an existing file for reading.
  virtual FileHandle OpenRead(const char* name) = 0;
  // Creates a file for writing that must not exist yet; fails when it does.
  virtual FileHandle CreateNew(const char* name) = 0;
  // Creates a file for writing, truncating one that exists.
  virtual FileHandle CreateAlways(const char* name) = 0;

  // Return the number of bytes transferred, or -1.
  virtual int Read(FileHandle file, std::uint8_t* dst, int count) = 0;
  virtual int Write(FileHandle file, const std::uint8_t* src, int count) = 0;
  // Flushes what was written to the device and closes; false when that failed.
  virtual bool Close(FileHandle file) = 0;

  // Replaces the file to by the file from in one step (from then no longer exists).
  virtual bool Replace(const char* from, const char* to) = 0;
  // Removes a file; false when it cannot.
  virtual bool Remove(const char* name) = 0;
};
