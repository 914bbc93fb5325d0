// Tells the service manager that started the monitor (a systemd unit of Type=notify) how it
// is: that it is ready, that its loop still turns (the watchdog), what it is doing, that it
// stops. The manager hands over a datagram socket in NOTIFY_SOCKET (a path, or an abstract
// name after "@") and the watchdog's interval in WATCHDOG_USEC, for the process WATCHDOG_PID
// when that is set. Each message is one datagram of "KEY=VALUE" lines. Without NOTIFY_SOCKET
// nothing is sent. A message never waits: one the socket cannot take at once is dropped.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

#include <cstdint>
#include <string>

class ServiceNotifier {
 public:
  // From the values of NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID (each may be null) for the
  // process self.
  ServiceNotifier(const char* socket, const char* watchdog_usec, const char* watchdog_pid,
                  pid_t self);
  // From this process's environment.
  static ServiceNotifier FromEnvironment();
  ~ServiceNotifier();
  ServiceNotifier(ServiceNotifier&& other) noexcept;
  ServiceNotifier(const ServiceNotifier&) = delete;
  ServiceNotifier& operator=(const ServiceNotifier&) = delete;
  ServiceNotifier& operator=(ServiceNotifier&&) = delete;

  // Whether there is a manager to tell.
  bool Active() const { return address_length_ != 0; }
  // The watchdog's interval in milliseconds (at least 1), or 0 when none applies to this
  // process.
  std::uint32_t WatchdogMs() const { return watchdog_ms_; }

  // Sends one message, such as "READY=1\nSTATUS=running". False when it was not sent (no
  // manager, or the socket refused it).
  bool Send(const std::string& message);

 private:
  sockaddr_un address_{};
  socklen_t address_length_ = 0;  // 0: no manager
  std::uint32_t watchdog_ms_ = 0;
  int fd_ = -1;  // made at the first message
};
