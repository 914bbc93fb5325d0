// Runs a program of this project (wsmon, wsmon-sim) as a child process: its standard input
// written by the test, its standard output read line by line with time limits.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  // Starts program with args in directory cwd (empty: the test's own).
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::string& cwd = "");
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // Sends the child a signal (SIGTERM: as an operator's Ctrl-C would stop it).
  void Signal(int signal_number);
  void Write(const std::string& text);
  void CloseInput();

  // The next line of output, waiting at most timeout_ms. False at the end of output or when
  // time is up.
  bool ReadLine(std::string* line, int timeout_ms);
  // Reads lines until one satisfies match (returned in *line); every line read is kept.
  bool ReadUntil(const std::function<bool(const std::string&)>& match, int timeout_ms,
                 std::string* line = nullptr);
  // Every line read so far.
  const std::vector<std::string>& lines() const { return lines_; }

  // Reads the rest of the output and waits for the child to end, at most timeout_ms; a child
  // still running then is killed. Returns its exit status, or -1 when it had to be killed or
  // died of a signal.
  int Finish(int timeout_ms);

 private:
  pid_t pid_ = -1;
  int in_fd_ = -1;
  int out_fd_ = -1;
  std::string pending_;
  std::vector<std::string> lines_;
};

// Paths of the programs under test.
std::string WsmonPath();
std::string SimPath();

// Runs wsmon --headless with these extra arguments in cwd, feeding it input and closing its
// input; returns its output lines and sets *status to its exit status.
std::vector<std::string> RunHeadless(const std::vector<std::string>& args, const std::string& input,
                                     const std::string& cwd, int* status);

// A fresh empty directory under the system's temporary directory, removed by the destructor.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Names of the files in it, sorted.
  std::vector<std::string> Names() const;

 private:
  std::string path_;
};

std::string ReadWholeFile(const std::string& path);
