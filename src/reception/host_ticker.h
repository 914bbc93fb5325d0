// Work that the outputs do now and then on the monitor's thread besides the poll cycles: they
// publish the ledger's figures, write on what waits for a slow reader, pass on notices. The
// host runs a ticker when it is due, from the same loop that runs the poll cycles, and the loop
// wakes up for it.
#pragma once

#include <cstdint>

class HostTicker {
 public:
  virtual ~HostTicker() = default;
  // Milliseconds from now_tick until Tick is due: 0 at once, -1 never (until something changes
  // on the monitor's thread, which asks again after every command and poll).
  virtual long MillisecondsToTick(std::uint32_t now_tick) const = 0;
  virtual void Tick(std::uint32_t now_tick) = 0;
};

// The sooner of two waits in milliseconds, -1 standing for none.
inline long SoonerWait(long a, long b) {
  if (a < 0) return b;
  if (b < 0) return a;
  return a < b ? a : b;
}
