// A CSV file of a run, its rows written as they come under a name of the run's own (its start's
// stem, as the run's journal has), so that a kill or a power cut leaves the rows of all but the
// last second: each row goes out in one write to the system's cache, and the file is flushed to
// the device at most once a second off the poll's path (AppendFile). The export gives it the
// export's stem; a run that the user ended without an export removes it, as it removes its
// journal; a run whose export failed leaves it under its run name beside the journal, and a run
// that never ended, or whose export failed, has it renamed with its recovered export.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "settings/file_store.h"
#include "storage/append_file.h"

class CsvRowFile {
 public:
  using Report = std::function<void(const std::string& text)>;

  CsvRowFile() = default;
  ~CsvRowFile() { Keep(); }
  CsvRowFile(const CsvRowFile&) = delete;
  CsvRowFile& operator=(const CsvRowFile&) = delete;

  // Starts base + ".csv" (base_2.csv, ... where taken, never replacing a file) in the current
  // directory holding the header; report is told of a full disk and of its end. False (with the
  // reason in *problem) when no file can be made.
  bool Begin(FileStore* files, const std::string& base, const char* header, Report report,
             std::string* problem);
  // Adds a record; dropped when no file is open (or the disk refuses it: told once).
  void Append(const char* record, std::size_t length);
  // Flushes and closes the file, then gives it the name base + ".csv" (base_2.csv, ... where
  // taken), never replacing a file, and flushes the directory. *name is the name it got. False,
  // with the reason in *problem, when rows never reached the device or no name could be given;
  // the file then keeps its run name.
  bool Publish(const std::string& base, std::string* name, std::string* problem);
  // Flushes and closes the file under its run name.
  void Keep();
  // Closes and removes the file, and flushes the directory.
  void Discard();
  bool is_open() const { return file_.is_open(); }
  const std::string& name() const { return file_.name(); }

 private:
  FileStore* files_ = nullptr;
  AppendFile file_;
};

// Gives the file from a name the first free name of base + ".csv", base_2.csv, ... (*name), never
// replacing a file, and flushes the directory. False, with the system's reason in *problem.
bool RenameCsvFile(FileStore* files, const std::string& from, const std::string& base,
                   std::string* name, std::string* problem);
