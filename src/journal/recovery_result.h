// What recovering one run's journal came to, for the front ends: their messages now, and any
// record of it they keep (a JSON record, the CSV files) later.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "journal/journal_format.h"

struct RecoveryResult {
  std::string journal;                 // the journal's file name, in the start directory
  JournalRunFacts run;                 // the run's facts; run.start is 0000-00-00 when unreadable
  bool readable = false;               // the journal holds a run at all
  LocalTime until = {};                // the local time of its last poll written
  std::string export_name;             // the export made from it ("" when none)
  std::uint64_t lines = 0;             // lines in that export
  std::uint64_t missing = 0;           // lines that a full disk kept out of the journal
  bool damaged = false;                // damaged: the lines after the damage are lost
  std::int64_t unread_bytes = 0;       // the journal's bytes after the damage
  bool recovered = false;              // the export is on the device and the journal is gone
  std::string failure;                 // why the export could not be made
  std::vector<std::string> csv_names;  // the run's CSV files, renamed with its export
};
