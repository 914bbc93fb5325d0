// The few socket calls the HTTP server makes itself, beside the library's: looking at what a
// client has sent without taking it, waiting for many sockets at once, and reading, writing and
// closing one with a time limit. Platform code (posix/), like network_host.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
using SocketHandle = std::uintptr_t;
#else
using SocketHandle = int;
#endif

// What a socket holds for reading, peeked (nothing taken): the count of bytes copied (> 0), 0 when
// the peer has ended its side, -1 when nothing waits yet, -2 on a failure.
long PeekSocket(SocketHandle socket, char* buffer, std::size_t size);
// Reads what comes within timeout_ms: the count, 0 at the peer's end, -1 on a timeout or failure.
long ReadSocket(SocketHandle socket, char* buffer, std::size_t size, int timeout_ms);
// Writes what fits within timeout_ms: the count, -1 on a timeout or failure.
long WriteSocket(SocketHandle socket, const char* buffer, std::size_t size, int timeout_ms);
// Whether the socket can be read from (or written to) within timeout_ms.
bool SocketReady(SocketHandle socket, bool write, int timeout_ms);
// The numeric address and port of the socket's own end or its peer's.
void SocketAddress(SocketHandle socket, bool peer, std::string* ip, int* port);
// Ends the connection: the peer sees the end of what was written; what it still sends is not
// answered with a reset that could overtake the response.
void CloseSocket(SocketHandle socket);

// Waits for any of a set of sockets to become readable (data, the peer's end, an error), or for
// Wake from another thread.
class SocketWaiter {
 public:
  SocketWaiter();
  ~SocketWaiter();
  SocketWaiter(const SocketWaiter&) = delete;
  SocketWaiter& operator=(const SocketWaiter&) = delete;

  // ready[i] tells of sockets[i]; false when the wait itself failed.
  bool Wait(const std::vector<SocketHandle>& sockets, int timeout_ms, std::vector<bool>* ready);
  void Wake();

 private:
  static constexpr SocketHandle kNone = static_cast<SocketHandle>(-1);
  SocketHandle wake_read_ = kNone;
  SocketHandle wake_write_ = kNone;
};
