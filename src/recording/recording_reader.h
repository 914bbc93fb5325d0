// Reads a recording record by record, in pieces, so that a recording of days costs no more
// memory than one of seconds. Everything before a torn or damaged line is given; the reader
// then stops and says where and why.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recording/recording_format.h"
#include "settings/file_store.h"

class RecordingReader {
 public:
  enum class State {
    kReading,  // records may follow
    kEnded,    // every line was read whole
    kTorn,     // the last line has no line end: its writer was cut off
    kDamaged,  // a line is not a record: nothing after it is read
  };

  RecordingReader() = default;
  ~RecordingReader() { Close(); }
  RecordingReader(const RecordingReader&) = delete;
  RecordingReader& operator=(const RecordingReader&) = delete;

  // Opens name and reads its first line. False, with a message for the user in *error, when it
  // cannot be read or is not a recording that this program reads.
  bool Open(FileStore* files, const std::string& name, std::string* error);
  void Close();

  // The next record; false once there is none, state() telling why.
  bool Next(Record* record);

  State state() const { return state_; }
  // The program that wrote it, as its first line names it.
  const std::string& made_by() const { return made_by_; }
  std::uint64_t records() const { return records_; }
  // Whether its writer closed it (its last record is "end").
  bool closed() const { return closed_; }
  // Bytes of whole lines read so far.
  std::uint64_t offset() const { return offset_; }
  // How reading ended (or where it is), for the user: "the whole recording was read ...",
  // "line 12 (byte 345) is torn: ...".
  std::string Ending() const;

 private:
  // The next line without its LF in [*begin, *begin + *length); false at the end of the file or
  // at a line that cannot be whole (state_ set).
  bool NextLine(const char** begin, std::size_t* length);
  bool Fill();

  FileStore* files_ = nullptr;
  FileHandle file_ = kInvalidFile;
  std::string name_;
  std::vector<char> buffer_;
  std::size_t start_ = 0;  // first unread byte in buffer_
  std::size_t end_ = 0;    // end of the bytes in buffer_
  bool at_eof_ = false;
  State state_ = State::kReading;
  std::string why_;  // what is wrong with a damaged line
  std::string made_by_;
  std::uint64_t line_ = 0;  // lines taken so far
  std::uint64_t offset_ = 0;
  std::uint64_t line_start_ = 0;  // where the line taken last begins
  std::uint64_t records_ = 0;
  bool closed_ = false;
};
