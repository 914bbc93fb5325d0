// Where the JSON Lines go.
//
// A file on a disk (or a name where nothing is yet) is appended to through AppendFile and the
// platform's file store, as every file the program keeps adding to: each write reaches the
// system's cache at once, a helper thread flushes it to the device at most once a second and the
// close once more, a full disk skips whole records (told once; writing resumes by itself, after
// the owner's gap record), and a last line torn by a crash is ended before the first new record.
//
// Standard output, a pipe or a device (anything else) is written without ever waiting for a
// reader: as much as it takes now. The stream's part is the JSON Lines writer's one piece of
// platform code (posix/, win32/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "settings/file_store.h"
#include "storage/append_file.h"

class LineOutput {
 public:
  // Told of a file's problems (a full disk, its end), one line each.
  using Report = std::function<void(const std::string& text)>;
  // The record put before the first one that gets through after skipped ones: how many records
  // (lines) and bytes were skipped, and why.
  using GapRecord = std::function<std::string(std::uint64_t records, std::uint64_t bytes,
                                              const std::string& why)>;

  LineOutput() = default;
  // A descriptor of the caller's, written as a stream, which stays open after this output.
  explicit LineOutput(int descriptor);
  ~LineOutput();
  LineOutput(const LineOutput&) = delete;
  LineOutput& operator=(const LineOutput&) = delete;

  // What a file tells and writes after a gap, from then on (the file's owner, the writer, sets
  // them; null: nothing).
  void SetFileHooks(Report report, GapRecord gap) {
    report_ = std::move(report);
    gap_ = std::move(gap);
  }

  // Opens the file for appending, so that an earlier session's records are never lost (created
  // where it is missing, without waiting even when it is a FIFO without a reader or a device
  // that waits for a carrier), or standard output for "" and "-". False with a message for the
  // user in *error.
  bool Open(const std::string& file, std::string* error);
  // Goes on in another file, opened as Open opens it; the current one is closed (and flushed to
  // the device) once the new one is open. False, with a message in *error and the current one
  // kept, when it does not open.
  bool Switch(const std::string& file, std::string* error);

  // A file appended to through AppendFile: whole records go in with Append, never with Write.
  bool appended() const { return file_ != nullptr; }
  // Appends whole records (lines) in one write. False when the disk refused them: they are
  // skipped, and the file itself tells why.
  bool Append(const char* bytes, std::size_t count);
  // Whether records were skipped since the last ones that got through: the next that get through
  // follow the gap record.
  bool skipping() const { return file_ != nullptr && file_->skipping(); }

  // A stream that takes every write at once (a regular file given as a descriptor, a console).
  bool regular() const { return regular_; }
  // The most bytes one write should offer: anything that is no regular file takes that much
  // without waiting once it is writable.
  std::size_t chunk(std::size_t limit) const;
  // Writes to a stream as much of the bytes as it takes now without waiting: the count taken (0
  // when it takes none now), or -1 with the error number in *error.
  long Write(const char* bytes, std::size_t count, int* error);
  // Waits at most timeout_ms until a write to a stream would take bytes.
  void WaitWritable(int timeout_ms);
  // The words of an error number.
  static std::string ErrorText(int error);

 private:
  // The platform's part.
  // Opens a stream as Open describes, in fd_, owned_ and regular_; nothing is left open when it
  // fails.
  bool OpenStream(const std::string& file, std::string* error);
  static void CloseDescriptor(int descriptor);
  void Examine();
  // The name under which the file that OpenStream found on a disk is appended to ("" to keep it
  // as a stream), and the file store that does it.
  static std::string DiskFileName(const std::string& file);
  static FileStore* Files();

  // Lets go of the stream (closed when it is this output's).
  void CloseStream();
  // Puts a file on a disk, just opened as a stream, in AppendFile's hands. False, with nothing
  // open, when that fails.
  bool AppendWhereOnDisk(const std::string& file, std::string* error);

  int fd_ = -1;
  bool owned_ = false;
  bool regular_ = false;
  std::unique_ptr<AppendFile> file_;
  std::uint64_t skipped_records_ = 0;  // since the last records that got through
  Report report_;
  GapRecord gap_;
};
