#include "platform/posix/service_notifier.h"

#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "cli/decimal.h"

ServiceNotifier::ServiceNotifier(const char* socket, const char* watchdog_usec,
                                 const char* watchdog_pid, pid_t self) {
  const std::size_t length = socket == nullptr ? 0 : std::strlen(socket);
  // A path must be absolute; an abstract name is told by its "@", which stands for the NUL
  // byte that begins it. Anything else is no address of ours.
  if (length < 2 || length >= sizeof address_.sun_path || (socket[0] != '/' && socket[0] != '@')) {
    return;
  }
  address_.sun_family = AF_UNIX;
  std::memcpy(address_.sun_path, socket, length);
  // An abstract name is exactly its bytes; a path ends with its NUL.
  std::size_t used = length + 1;
  if (socket[0] == '@') {
    address_.sun_path[0] = '\0';
    used = length;
  }
  address_length_ = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + used);

  // The watchdog is the process's that WATCHDOG_PID names; without it, ours.
  std::int64_t pid = self;
  if (watchdog_pid != nullptr && !ParseWholeNumber(watchdog_pid, 1, INT32_MAX, &pid)) return;
  std::uint64_t usec = 0;
  if (pid != self || watchdog_usec == nullptr ||
      !ParseWholeNumber(watchdog_usec, UINT64_MAX, &usec) || usec == 0) {
    return;
  }
  const std::uint64_t ms = (usec + 999) / 1000;
  watchdog_ms_ = ms > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(ms);
}

ServiceNotifier ServiceNotifier::FromEnvironment() {
  return ServiceNotifier(std::getenv("NOTIFY_SOCKET"), std::getenv("WATCHDOG_USEC"),
                         std::getenv("WATCHDOG_PID"), getpid());
}

ServiceNotifier::ServiceNotifier(ServiceNotifier&& other) noexcept
    : address_(other.address_),
      address_length_(other.address_length_),
      watchdog_ms_(other.watchdog_ms_),
      fd_(other.fd_) {
  other.fd_ = -1;
}

ServiceNotifier::~ServiceNotifier() {
  if (fd_ >= 0) ::close(fd_);
}

bool ServiceNotifier::Send(const std::string& message) {
  if (!Active()) return false;
  if (fd_ < 0) fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return false;
  const ssize_t sent = ::sendto(fd_, message.data(), message.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address_), address_length_);
  return sent == static_cast<ssize_t>(message.size());
}
