// A CSV file of a run, its rows written as they come and given its name only when it is whole:
// rows go straight into an unnamed file in the start directory (through a small buffer, so a
// poll never waits for more than a write to the page cache), which is given its name when the
// run is exported, and vanishes when it is not. This is the CSV writer's one piece of platform
// code (posix/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CsvRowFile {
 public:
  CsvRowFile() = default;
  ~CsvRowFile() { Discard(); }
  CsvRowFile(const CsvRowFile&) = delete;
  CsvRowFile& operator=(const CsvRowFile&) = delete;

  // Starts a new file in the current directory holding the header; a file not yet published is
  // dropped. False (with the reason in *problem) when none can be made.
  bool Begin(const char* header, std::string* problem);
  // Adds a record; dropped when no file is open.
  void Append(const char* record, std::size_t length);
  // Writes out what is buffered and gives the file a name: base + ".csv", or base + "_2.csv",
  // ... when that is taken, never replacing a file. *name is the name it got. False, with the
  // reason in *problem, when the file was not complete or could not be named; the rows are then
  // dropped.
  bool Publish(const std::string& base, std::string* name, std::string* problem);
  void Discard();

 private:
  bool Flush();
  bool Name(const std::string& name);

  int fd_ = -1;
  std::string temp_name_;  // a named stand-in where the file system has no unnamed files
  int error_ = 0;          // the first write error of this file
  std::uint8_t buffer_[16384];
  std::size_t used_ = 0;
};
