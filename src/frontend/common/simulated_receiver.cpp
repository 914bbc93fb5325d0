#include "frontend/common/simulated_receiver.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/posix/posix_clock.h"

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 5000;

// Reads what the child printed until a whole line is there, the child closes its output, or the
// deadline (monotonic nanoseconds) passes. True when *buffer holds a line.
bool ReadLine(int fd, std::string* buffer, std::int64_t deadline_ns) {
  while (buffer->find('\n') == std::string::npos) {
    const std::int64_t left_ns = deadline_ns - MonotonicNanoseconds();
    if (left_ns <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int timeout = static_cast<int>(left_ns / kNanosecondsPerMillisecond) + 1;
    const int ready = ::poll(&p, 1, timeout);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char chunk[512];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer->append(chunk, static_cast<std::size_t>(n));
  }
  return true;
}

std::string TakeLine(std::string* buffer) {
  const std::size_t end = buffer->find('\n');
  std::string line = buffer->substr(0, end);
  buffer->erase(0, end == std::string::npos ? end : end + 1);
  return line;
}

}  // namespace

SimulatedReceiver::~SimulatedReceiver() {
  if (pid_ > 0) Stop();
}

bool SimulatedReceiver::Start(const std::string& program, const std::vector<std::string>& args,
                              std::string* error) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    *error = std::string("cannot start the simulated receiver: ") + std::strerror(errno);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    return false;
  }
  if (pid == 0) {
    // The receiver goes when the monitor goes, however the monitor ends.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    // Ctrl-C, Ctrl-\ and Ctrl-Z on the monitor's terminal are for the monitor: the receiver
    // leaves the terminal's foreground job and ends when the monitor stops it.
    ::setpgid(0, 0);
    ::dup2(pipe_fds[1], STDOUT_FILENO);
    ::execvp(argv[0], argv.data());
    const char msg[] = "wsmon: cannot run the simulated receiver\n";
    (void)!::write(STDERR_FILENO, msg, sizeof msg - 1);
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  pid_ = pid;
  out_fd_ = pipe_fds[0];

  const std::int64_t deadline =
      MonotonicNanoseconds() + kStartTimeoutMs * kNanosecondsPerMillisecond;
  if (!ReadLine(out_fd_, &pending_, deadline)) {
    Stop();
    *error = "the simulated receiver (" + program + ") did not name its device";
    return false;
  }
  device_path_ = TakeLine(&pending_);
  return true;
}

bool SimulatedReceiver::StartForPorts(const std::string& program,
                                      const std::vector<std::string>& args, ComPortMap* ports,
                                      std::string* error) {
  if (!Start(program.empty() ? SiblingProgram("wsmon-sim") : program, args, error)) return false;
  const ComPortMap defaults;
  for (int n = ComPortMap::kFirstPort; n <= ComPortMap::kLastPort; ++n) {
    if (ports->PathFor(n) == defaults.PathFor(n)) ports->Set(n, device_path_);
  }
  return true;
}

std::vector<std::string> SimulatedReceiver::Stop() {
  std::vector<std::string> lines;
  if (pid_ <= 0) return lines;
  ::kill(pid_, SIGTERM);
  // It prints its summary and closes its output as it ends; one that does not end in time is
  // killed.
  const std::int64_t deadline =
      MonotonicNanoseconds() + kStopTimeoutMs * kNanosecondsPerMillisecond;
  while (ReadLine(out_fd_, &pending_, deadline)) lines.push_back(TakeLine(&pending_));
  if (!pending_.empty()) lines.push_back(TakeLine(&pending_));
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (MonotonicNanoseconds() >= deadline) ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  ::close(out_fd_);
  out_fd_ = -1;
  pid_ = -1;
  return lines;
}

std::string SiblingProgram(const std::string& name) {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = '\0';
    std::string dir(self);
    dir.erase(dir.rfind('/') + 1);
    std::string candidate = dir + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return name;
}
