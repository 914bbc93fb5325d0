// Reading a run's journal back: what the run was and how far its records are sound, then the
// lines of one box at a time, so that an export of any length is made with constant memory.
//
// A journal read after a crash may end in a record that was being written (cut short, or ending
// in the zeros a power cut leaves): that is the expected end of such a journal, not damage. A
// record that fails its check with more records after it is damage: reading stops there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "journal/journal_format.h"
#include "settings/file_store.h"

struct JournalScan {
  bool has_run = false;  // the first record holds the run's facts
  JournalRunFacts run;
  // The counts and local time of the last poll written (the start time before any).
  JournalCounts last;
  // Per box (panels by index, then the error log): lines by the run's numbering, those among
  // them that a full disk kept out, whether its lines replace each other (a one-line panel), and
  // then its last line, in the export's bytes.
  std::uint64_t lines[kJournalBoxes] = {};
  std::uint64_t missing[kJournalBoxes] = {};
  bool one_line[kJournalBoxes] = {};
  std::string last_line[kJournalBoxes];
  std::int64_t sound_bytes = 0;  // whole sound records from the start
  std::int64_t file_bytes = 0;
  bool damaged = false;   // a bad record with more after it: nothing after it is read
  std::uint8_t end = 0;   // 0 while the run went on; kJournalEndExport or kJournalEndDropped
  std::string temp_name;  // of the export under way when the run ended
  std::string exported;   // the export's name, once it reached the device
  std::string failure;    // why the journal could not be read at all

  std::uint64_t TotalLines() const;
  std::uint64_t MissingLines() const;
};

// Reads the whole journal once. False (with the reason in scan->failure) when it cannot be read.
bool ScanJournal(FileStore& files, const char* name, JournalScan* scan);

// Calls line with the bytes of each of the first count lines of a box (a table index), in order,
// among the first sound_bytes bytes of the journal; lines that a full disk kept out are counted
// in *missing (when given) instead. False when the journal cannot be read, or when line returns
// false.
bool ReadJournalLines(FileStore& files, const char* name, std::int64_t sound_bytes, int box,
                      std::uint64_t count,
                      const std::function<bool(const std::uint8_t*, std::size_t)>& line,
                      std::uint64_t* missing = nullptr);
