// The JSON Lines file of each run in service mode: --json run.jsonl gives
// run_YYYY_MM_DD_hh_mm.jsonl for a run that starts at that local minute (run_..._mm_2.jsonl and so
// on for a second run in that minute: a file is never appended to by two runs). A FILE that exists
// as something other than a regular file (a FIFO, a device) is written as it is, for every run.
#pragma once

#include <string>

#include "app/local_time.h"

class RunFiles {
 public:
  // file as given to --json (empty or "-": standard output, which does not rotate).
  explicit RunFiles(const std::string& file);

  bool rotates() const { return rotates_; }
  // A new empty file for a run starting at time: its name, or "" with a message in *error.
  // Without rotation the file as given.
  std::string Claim(const LocalTime& time, std::string* error) const;

 private:
  std::string file_;
  std::string stem_;       // the file's path without its extension
  std::string extension_;  // ".jsonl", or empty
  bool rotates_ = false;
};
