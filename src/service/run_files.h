// The file of each run in service mode, for an option that names one (--json FILE, --record
// FILE): run.jsonl gives run_YYYY_MM_DD_hh_mm.jsonl for a run that starts at that local minute
// (run_..._mm_2.jsonl and so on for a second run in that minute: a file is never written by two
// runs). A file that does not rotate (standard output, a FIFO, a device) is written as it is,
// for every run.
#pragma once

#include <string>

#include "app/local_time.h"
#include "settings/file_store.h"

class RunFiles {
 public:
  // option names the option in messages; file is as given (empty: none). files must outlive
  // this.
  RunFiles(std::string option, const std::string& file, bool rotates, FileStore* files);

  bool rotates() const { return rotates_; }
  // A new empty file for a run starting at time: its name, or "" with a message in *error.
  // Without rotation the file as given. With handle the new file is left open for writing there
  // (the caller closes it), else it is closed.
  std::string Claim(const LocalTime& time, std::string* error, FileHandle* handle = nullptr) const;

 private:
  std::string option_;
  std::string file_;
  std::string stem_;       // the file's path without its extension
  std::string extension_;  // ".jsonl", or empty
  bool rotates_ = false;
  FileStore* files_;
};
