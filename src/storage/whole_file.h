// A new file that is whole or absent under its name (an export): its bytes go to a temporary
// file first, which is flushed to the device and only then given its name, where no file is yet,
// with the directory flushed after. No crash, power cut or full disk ever leaves a part of it
// under its name; a failed one leaves nothing at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/file_store.h"

class WholeFile {
 public:
  enum class Published {
    kDone,        // complete on the device under its name
    kNotWritten,  // its bytes did not all reach the device
    kNotNamed,    // no name could be given to it
  };

  WholeFile() = default;
  ~WholeFile() { Abandon(); }
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;

  // Makes the temporary file, stem + extension + ".tmp" (stem_2 ... when taken). False when no
  // file can be made there.
  bool Begin(FileStore* files, const char* stem, const char* extension);
  // Adds bytes (written in large pieces). False once a write failed; later ones do nothing.
  bool Write(const std::uint8_t* bytes, std::size_t count);
  // Writes what was added so far (not yet to the device), so that a failure is told by the part
  // of the file it struck. False once a write failed.
  bool WriteOut() { return Flush(); }
  // Writes out, flushes and closes the temporary file, then gives it the first free name of
  // stem + extension, stem_2 + extension, ... (into name, cap bytes), never replacing a file,
  // and flushes the directory. On failure the temporary file is removed.
  Published Publish(char* name, std::size_t cap);
  // Removes the temporary file.
  void Abandon();

  const char* temp_name() const { return temp_name_.c_str(); }
  // Why it failed, in the system's words.
  const std::string& failure() const { return failure_; }
  // Whether the new name reached the device too (a published file whose directory could not
  // be flushed might lose its name to a power cut).
  bool name_flushed() const { return name_flushed_; }

 private:
  bool Flush();
  void Fail();

  FileStore* files_ = nullptr;
  FileHandle file_ = kInvalidFile;
  std::string stem_;
  std::string extension_;
  std::string temp_name_;
  std::vector<std::uint8_t> pending_;
  bool failed_ = false;
  bool name_flushed_ = false;
  std::string failure_;
};

// Gives the file from the first free name of stem + extension, stem_2 + extension, ... (into
// name, cap bytes), never replacing a file. The directory is not flushed. False, with the
// system's reason in files->LastFailure(), when no name could be given.
bool RenameToFreeName(FileStore* files, const char* from, const char* stem, const char* extension,
                      char* name, std::size_t cap);
