// Where the JSON Lines go: a file appended to, or standard output, written without ever waiting
// for a reader. This is the JSON Lines writer's one piece of platform code (posix/).
#pragma once

#include <cstddef>
#include <string>

class LineOutput {
 public:
  LineOutput() = default;
  // A descriptor of the caller's, which stays open after this output.
  explicit LineOutput(int descriptor);
  ~LineOutput();
  LineOutput(const LineOutput&) = delete;
  LineOutput& operator=(const LineOutput&) = delete;

  // Opens the file for appending, so that an earlier session's records are never lost (created
  // where it is missing, without waiting even when it is a FIFO without a reader or a device
  // that waits for a carrier), or standard output for "" and "-". False with a message for the
  // user in *error.
  bool Open(const std::string& file, std::string* error);
  // Goes on in another file, opened as Open opens it; the current one is closed once the new
  // one is open. False, with a message in *error and the current one kept, when it does not
  // open.
  bool Switch(const std::string& file, std::string* error);

  // A regular file takes every write at once, to the page cache.
  bool regular() const { return regular_; }
  // The most bytes one write should offer: anything that is no regular file takes that much
  // without waiting once it is writable.
  std::size_t chunk(std::size_t limit) const;
  // Writes as much of the bytes as the output takes now without waiting: the count taken (0
  // when it takes none now), or -1 with the error number in *error.
  long Write(const char* bytes, std::size_t count, int* error);
  // Waits at most timeout_ms until a write would take bytes.
  void WaitWritable(int timeout_ms);
  // The words of an error number.
  static std::string ErrorText(int error);

 private:
  void Examine();

  int fd_ = -1;
  bool owned_ = false;
  bool regular_ = false;
};
