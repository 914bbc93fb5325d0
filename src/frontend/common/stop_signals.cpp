#include "frontend/common/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace {

volatile std::sig_atomic_t g_request = 0;
int g_pipe[2] = {-1, -1};
void (*volatile g_fatal_cleanup)() = nullptr;

void OnStopSignal(int signal) {
  const int saved_errno = errno;
  const std::sig_atomic_t wanted = signal == SIGINT ? static_cast<int>(StopRequest::kExit)
                                                    : static_cast<int>(StopRequest::kStopThenExit);
  if (wanted > g_request) g_request = wanted;
  if (g_pipe[1] >= 0) {
    const char wake = 1;
    (void)!::write(g_pipe[1], &wake, 1);  // a full pipe is awake already
  }
  errno = saved_errno;
}

void OnFatalSignal(int signal) {
  void (*cleanup)() = g_fatal_cleanup;
  if (cleanup != nullptr) cleanup();
  // Die of the same signal, so that the parent and a core dump see the real cause.
  std::signal(signal, SIG_DFL);
  ::raise(signal);
}

void Handle(int signal, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  sigaction(signal, &action, nullptr);
}

}  // namespace

void InstallStopSignals() {
  if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_pipe[0] = g_pipe[1] = -1;
  }
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) Handle(s, OnStopSignal, 0);
  for (int s : {SIGUSR1, SIGUSR2, SIGPIPE}) Handle(s, SIG_IGN, 0);
  for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    Handle(s, OnFatalSignal, SA_RESETHAND | SA_NODEFER);
  }
}

StopRequest TakeStopRequest() {
  const StopRequest request = static_cast<StopRequest>(g_request);
  g_request = 0;
  if (g_pipe[0] >= 0) {
    char drain[64];
    while (::read(g_pipe[0], drain, sizeof drain) > 0) {
    }
  }
  return request;
}

bool StopRequested() {
  return g_request != 0;
}

int StopSignalDescriptor() {
  return g_pipe[0];
}

void SetFatalSignalCleanup(void (*cleanup)()) {
  g_fatal_cleanup = cleanup;
}
