// What the headless monitor tells a service manager from its loop (see service_notifier.h):
// READY=1 at the loop's first turn, WATCHDOG=1 at half the watchdog's interval, so that a loop
// that stops turning stops the pings and the manager restarts the monitor, STATUS= with the
// run's figures every few seconds, and STOPPING=1 once when the monitor begins to end. Without
// a manager it asks for no turn of the loop and sends nothing.
#pragma once

#include <cstdint>
#include <string>

#include "ledger/ledger_figures.h"
#include "platform/posix/service_notifier.h"
#include "reception/host_ticker.h"

class Ledger;

class ServiceHeartbeat : public HostTicker {
 public:
  // How often the status is told.
  static constexpr std::uint32_t kStatusEveryMs = 5000;

  // ledger gives the figures; both must outlive the heartbeat.
  ServiceHeartbeat(ServiceNotifier* notifier, const Ledger* ledger)
      : notifier_(notifier), ledger_(ledger) {}

  long MillisecondsToTick(std::uint32_t now_tick) const override;
  void Tick(std::uint32_t now_tick) override;
  // The monitor begins to end (a stop request, the end of its input): told once, and nothing
  // after it.
  void Stopping();

 private:
  // Milliseconds from now_tick until a message sent at last_tick every period_ms is due again.
  static long Until(std::uint32_t now_tick, std::uint32_t last_tick, std::uint32_t period_ms);

  ServiceNotifier* notifier_;
  const Ledger* ledger_;
  bool ready_ = false;
  bool stopping_ = false;
  std::uint32_t pinged_tick_ = 0;
  std::uint32_t status_tick_ = 0;
};
