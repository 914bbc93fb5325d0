#include "support.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/platform.h"
#include "serial/link.h"

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

namespace {

// Every name in a directory but . and .., sorted.
std::vector<std::string> Entries(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Waits for fd to become readable until the deadline; false when time is up.
bool Readable(int fd, double deadline) {
  for (;;) {
    const double left = deadline - NowMs();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left) + 1);
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

}  // namespace

int OpenDescriptorCount() {
  return static_cast<int>(Entries("/proc/self/fd").size()) - 1;  // the listing's own
}

bool WaitForWaiting(SerialPort* port, PortHandle handle, int count, int timeout_ms) {
  const double end = NowMs() + timeout_ms;
  while (port->WaitingCount(handle) < count) {
    if (NowMs() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

PseudoTerminal::PseudoTerminal() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128] = {};
  termios raw{};
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0 || tcgetattr(master_, &raw) != 0) {
    ADD_FAILURE() << "no pseudo-terminal";
    return;
  }
  cfmakeraw(&raw);
  tcsetattr(master_, TCSANOW, &raw);
  path_ = name;
}

void PseudoTerminal::Send(const Bytes& bytes) {
  ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

Bytes PseudoTerminal::Receive(int timeout_ms, std::size_t at_least) {
  Bytes got;
  const double end = NowMs() + timeout_ms;
  while (got.size() < at_least && Readable(master_, end)) {
    std::uint8_t buffer[256];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) break;  // nobody has the device open
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

void PseudoTerminal::Hangup() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

MonitorOnLine::MonitorOnLine(const std::string& path) {
  ComPortMap ports;
  ports.Set(1, path);
  port_ = std::make_unique<PosixSerialPort>(ports);
  ResetMonitorState();
  g_platform = Platform{};
  g_platform.port = port_.get();
  g_platform.clock = &clock_;
  g_state.port_number = 1;
}

MonitorOnLine::~MonitorOnLine() {
  CloseLink();
  g_platform = Platform{};
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& cwd) {
  int in[2];
  int out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  signal(SIGPIPE, SIG_IGN);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  in_fd_ = in[1];
  out_fd_ = out[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) Finish(0);
  CloseInput();
  if (out_fd_ >= 0) close(out_fd_);
}

void ChildProcess::Signal(int signal_number) {
  if (pid_ > 0) kill(pid_, signal_number);
}

void ChildProcess::Write(const std::string& text) {
  std::size_t done = 0;
  while (in_fd_ >= 0 && done < text.size()) {
    const ssize_t n = write(in_fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void ChildProcess::CloseInput() {
  if (in_fd_ >= 0) close(in_fd_);
  in_fd_ = -1;
}

bool ChildProcess::ReadLine(std::string* line, int timeout_ms) {
  const double end = NowMs() + timeout_ms;
  while (pending_.find('\n') == std::string::npos) {
    if (out_fd_ < 0 || !Readable(out_fd_, end)) return false;
    char chunk[4096];
    const ssize_t n = read(out_fd_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(out_fd_);
      out_fd_ = -1;
      if (pending_.empty()) return false;
      pending_ += '\n';  // a last line without its newline
      break;
    }
    pending_.append(chunk, static_cast<std::size_t>(n));
  }
  const std::size_t newline = pending_.find('\n');
  *line = pending_.substr(0, newline);
  pending_.erase(0, newline + 1);
  lines_.push_back(*line);
  return true;
}

bool ChildProcess::ReadUntil(const std::function<bool(const std::string&)>& match, int timeout_ms) {
  const double end = NowMs() + timeout_ms;
  std::string got;
  while (ReadLine(&got, static_cast<int>(std::max(0.0, end - NowMs())))) {
    if (match(got)) return true;
  }
  return false;
}

int ChildProcess::Finish(int timeout_ms) {
  if (pid_ <= 0) return -1;
  CloseInput();
  const double end = NowMs() + timeout_ms;
  std::string ignored;
  while (ReadLine(&ignored, static_cast<int>(std::max(0.0, end - NowMs())))) {
  }
  int status = 0;
  pid_t done = 0;
  while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && NowMs() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (done == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  return done != 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::map<std::string, long> Summary(const Lines& lines) {
  std::map<std::string, long> summary;
  auto line = std::find(lines.begin(), lines.end(), "summary 1");
  for (; line != lines.end() && *line != "end"; ++line) {
    const std::size_t space = line->rfind(' ');
    summary[line->substr(0, space)] = std::stol(line->substr(space + 1));
  }
  return summary;
}

Lines RunHeadless(const std::vector<std::string>& args, const std::string& input,
                  const std::string& cwd, int* status) {
  std::vector<std::string> all = {"--headless"};
  all.insert(all.end(), args.begin(), args.end());
  ChildProcess wsmon(WSMON_PATH, all, cwd);
  wsmon.Write(input);
  *status = wsmon.Finish(30000);
  return wsmon.lines();
}

ScratchDirectory::ScratchDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp");
  pattern += "/wsmon-test-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  for (const std::string& name : Names()) unlink(File(name).c_str());
  rmdir(path_.c_str());
}

std::vector<std::string> ScratchDirectory::Names() const {
  return Entries(path_);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}
