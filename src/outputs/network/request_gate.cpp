#include "outputs/network/request_gate.h"

#include <algorithm>
#include <memory>
#include <utility>

RequestGate::~RequestGate() {
  Stop();
}

bool RequestGate::HeadComplete(const char* bytes, std::size_t size) {
  // Lines end in CR LF, but a bare LF is taken as well, as the parser does.
  for (std::size_t i = 1; i < size; ++i) {
    if (bytes[i] != '\n') continue;
    if (bytes[i - 1] == '\n') return true;
    if (i >= 2 && bytes[i - 1] == '\r' && bytes[i - 2] == '\n') return true;
  }
  return false;
}

void RequestGate::Start() {
  thread_ = std::thread([this] { Run(); });
}

void RequestGate::Admit(SocketHandle socket) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestMs);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_) {
      admitted_.push_back({socket, deadline, false});
      socket = SocketHandle(-1);
    }
  }
  if (socket != SocketHandle(-1)) {
    CloseSocket(socket);
    return;
  }
  waiter_.Wake();
}

void RequestGate::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  waiter_.Wake();
  if (thread_.joinable()) thread_.join();
  for (const Waiting& w : admitted_) CloseSocket(w.socket);
  admitted_.clear();
}

void RequestGate::Run() {
  std::vector<Waiting> waiting;  // oldest first
  const auto head = std::make_unique<char[]>(kMaxHead);
  while (TakeAdmitted(&waiting)) {
    const std::vector<bool> readable = WaitForReadable(waiting);
    const auto now = std::chrono::steady_clock::now();
    std::vector<Waiting> kept;
    kept.reserve(waiting.size());
    for (std::size_t i = 0; i < waiting.size(); ++i) {
      if (KeepWaiting(&waiting[i], readable[i], head.get(), now)) kept.push_back(waiting[i]);
    }
    waiting.swap(kept);
  }
  for (const Waiting& w : waiting) CloseSocket(w.socket);
}

bool RequestGate::TakeAdmitted(std::vector<Waiting>* waiting) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return false;
    waiting->insert(waiting->end(), admitted_.begin(), admitted_.end());
    admitted_.clear();
  }
  while (waiting->size() > kMaxWaiting) {
    CloseSocket(waiting->front().socket);
    waiting->erase(waiting->begin());
    ++crowded_out_;
  }
  return true;
}

std::vector<bool> RequestGate::WaitForReadable(const std::vector<Waiting>& waiting) {
  // A socket that holds part of a request stays readable, so it is looked at again after a
  // while instead of being waited for.
  const auto now = std::chrono::steady_clock::now();
  std::int64_t wait_ms = 60000;
  std::vector<SocketHandle> sockets;
  std::vector<std::size_t> polled;  // the index in waiting of each of sockets
  for (std::size_t i = 0; i < waiting.size(); ++i) {
    const Waiting& w = waiting[i];
    const std::int64_t left =
        std::chrono::duration_cast<std::chrono::milliseconds>(w.deadline - now).count() + 1;
    wait_ms = std::min(wait_ms, std::max<std::int64_t>(left, 0));
    if (w.partial) {
      wait_ms = std::min<std::int64_t>(wait_ms, kLookAgainMs);
    } else {
      sockets.push_back(w.socket);
      polled.push_back(i);
    }
  }
  std::vector<bool> ready;
  if (!waiter_.Wait(sockets, static_cast<int>(wait_ms), &ready)) {
    ready.assign(sockets.size(), true);  // look at each: a failed wait is no reason to hang
  }
  std::vector<bool> readable(waiting.size(), false);
  for (std::size_t k = 0; k < polled.size(); ++k) readable[polled[k]] = ready[k];
  return readable;
}

bool RequestGate::KeepWaiting(Waiting* w, bool readable, char* head,
                              std::chrono::steady_clock::time_point now) {
  if (readable || w->partial) {
    const long n = PeekSocket(w->socket, head, kMaxHead);
    if (n > 0 && HeadComplete(head, static_cast<std::size_t>(n))) {
      serve_(w->socket);
      return false;
    }
    if (n == 0 || n == -2 || n == static_cast<long>(kMaxHead)) {
      CloseSocket(w->socket);  // gone, failed, or a head larger than any request of ours
      return false;
    }
    w->partial = n > 0;
  }
  if (now >= w->deadline) {
    CloseSocket(w->socket);
    ++timed_out_;
    return false;
  }
  return true;
}
