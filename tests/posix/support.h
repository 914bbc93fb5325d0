// What the Linux tests work with: a pseudo-terminal whose controlling side plays the far end of
// a serial line, the programs of this project run by the shell, and scratch directories.
#pragma once

#include <gmock/gmock.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/posix_serial_port.h"
#include "support/fixture.h"

// The matchers of the texts that the tests read.
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// The headless line of the message box that a port which did not open brings up.
inline const std::string kOpenFailedLine =
    "message \"错误提示\" \"端口不存在或出现错误，请重新设置!\"";

// Milliseconds of the monotonic clock.
double NowMs();
// Whether done() comes true within timeout_ms, asked every every_ms.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 5000, int every_ms = 10);
// How many descriptors the process holds.
int OpenDescriptorCount();
std::string ReadWholeFile(const std::string& path);

class PseudoTerminal {
 public:
  PseudoTerminal();  // fails the test (ADD_FAILURE) when none can be had
  ~PseudoTerminal() { Hangup(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // The device that a serial port opens.
  const std::string& path() const { return path_; }
  void Send(const Bytes& bytes);
  // Whatever arrives from the device's side within timeout_ms, ending early once at_least
  // bytes are in.
  Bytes Receive(int timeout_ms, std::size_t at_least);
  // The far end goes away.
  void Hangup();
  bool hung_up() const { return master_ < 0; }

 private:
  int master_ = -1;
  std::string path_;
};

// A fresh empty directory under the system's temporary directory, removed with all below it by
// the destructor.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Names of the files in it, sorted.
  std::vector<std::string> Names() const;
  // Lays out files ("=TEXT", written with a newline) and symbolic links ("@TARGET") at paths
  // below it, making the directories on the way; false, with a test failure, when one fails.
  bool Lay(const std::vector<std::pair<std::string, std::string>>& tree) const;

 private:
  std::string path_;
};

// How many files of runs, RUVEZ_*EXTENSION (".txt" for exports, ".journal"), a directory holds.
long RunFiles(const std::string& dir, const std::string& extension);

// What a program may be started with besides its arguments.
struct Surroundings {
  std::vector<int> closed;               // standard descriptors left closed
  std::string terminal;                  // a session of its own, with this device as its terminal
  bool as_nobody = false;                // run as the user nobody
  bool keep_errors = false;              // its standard error to a file too (error_lines)
  std::vector<std::string> environment;  // "NAME=VALUE" set for it besides the test's own
};

// A program of this project run in directory cwd, ended after a minute at most. The test writes
// its standard input; its output goes to a file, which can be watched while it runs.
class Program {
 public:
  Program(const std::string& program, const std::vector<std::string>& args,
          const std::string& cwd = ".", const Surroundings& around = {});
  ~Program() { Finish(); }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  void Write(const std::string& text);
  void Signal(int signal) const;
  // Waits at most timeout_ms for a line of output that satisfies match: by default half the
  // program's minute, as a sanitizer build that starts on a busy machine may take many seconds.
  bool WaitFor(const std::function<bool(const std::string&)>& match, int timeout_ms = 30000);
  // Ends its input and waits for it to end: its exit status.
  int Finish();
  // Every whole line of output so far.
  const Lines& lines();
  // Every line of its standard error so far, when the surroundings kept it.
  Lines error_lines() const;
  int pid() const { return pid_; }

 private:
  ScratchDirectory output_;
  std::FILE* input_ = nullptr;
  int pid_ = -1;
  int status_ = -1;
  Lines lines_;
};

// Two pseudo-terminals joined under fixed names, as a USB adapter's stable name would be; gone,
// both ends and their names, on destruction (an unplugged receiver).
class Relay {
 public:
  Relay(const std::string& a, const std::string& b);
  ~Relay();
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

 private:
  Program socat_;
  std::string names_[2];
};
