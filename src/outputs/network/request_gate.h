// Where the HTTP server's connections wait until their request has come whole. A client that
// sends its request slowly, or only half of it, would otherwise hold one of the few threads
// that serve requests for as long as it likes, and a few dozen such clients would leave
// /metrics unanswered. Here they cost a descriptor and a place in one thread's wait: a
// connection is handed on only once its request's head is in, and is closed when that has not
// happened within kRequestMs, when it is too large, or when the waiting room is full (the
// longest waiting goes, which is the likeliest to be one of many slow clients).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "outputs/network/socket_io.h"

class RequestGate {
 public:
  static constexpr std::size_t kMaxWaiting = 128;
  static constexpr int kRequestMs = 3000;
  static constexpr std::size_t kMaxHead = 16384;
  static constexpr int kLookAgainMs = 50;  // at a connection that sent part of its head

  // serve takes over a connection whose request's head is in (on the gate's thread).
  explicit RequestGate(std::function<void(SocketHandle)> serve) : serve_(std::move(serve)) {}
  ~RequestGate();  // as Stop
  RequestGate(const RequestGate&) = delete;
  RequestGate& operator=(const RequestGate&) = delete;

  void Start();
  // Any thread: the gate owns the connection from now on.
  void Admit(SocketHandle socket);
  // Closes every connection still waiting and ends the thread.
  void Stop();

  // Connections closed here, and why.
  std::uint64_t timed_out() const { return timed_out_.load(); }
  std::uint64_t crowded_out() const { return crowded_out_.load(); }

  // Whether the bytes a client sent so far end a request's head (an empty line).
  static bool HeadComplete(const char* bytes, std::size_t size);

 private:
  struct Waiting {
    SocketHandle socket;
    std::chrono::steady_clock::time_point deadline;
    bool partial = false;  // part of the head is in
  };
  void Run();
  // The steps of each of Run's turns. Takes what Admit let in, the oldest crowded out beyond
  // kMaxWaiting; false once the gate stops.
  bool TakeAdmitted(std::vector<Waiting>* waiting);
  // Waits until a socket has bytes, a deadline passes, or a partial head is due to be looked
  // at again; true for each socket found readable.
  std::vector<bool> WaitForReadable(const std::vector<Waiting>& waiting);
  // Serves a socket whose head is complete, and closes one gone, overlong or past its
  // deadline; true when it waits on.
  bool KeepWaiting(Waiting* w, bool readable, char* head,
                   std::chrono::steady_clock::time_point now);

  std::function<void(SocketHandle)> serve_;
  SocketWaiter waiter_;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Waiting> admitted_;  // not yet taken by the gate's thread
  bool stopping_ = false;
  std::atomic<std::uint64_t> timed_out_{0};
  std::atomic<std::uint64_t> crowded_out_{0};
};
