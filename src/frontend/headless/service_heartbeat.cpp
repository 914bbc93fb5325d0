#include "frontend/headless/service_heartbeat.h"

#include "ledger/ledger.h"
#include "ledger/ledger_table.h"

long ServiceHeartbeat::Until(std::uint32_t now_tick, std::uint32_t last_tick,
                             std::uint32_t period_ms) {
  const std::uint32_t since = now_tick - last_tick;
  return since >= period_ms ? 0 : static_cast<long>(period_ms - since);
}

long ServiceHeartbeat::MillisecondsToTick(std::uint32_t now_tick) const {
  if (!notifier_->Active() || stopping_) return -1;
  if (!ready_) return 0;
  const long status = Until(now_tick, status_tick_, kStatusEveryMs);
  if (notifier_->WatchdogMs() == 0) return status;
  // Twice in each interval of the watchdog, so that one late turn of the loop is no miss.
  const std::uint32_t ping_ms = notifier_->WatchdogMs() / 2;
  const long ping = Until(now_tick, pinged_tick_, ping_ms > 0 ? ping_ms : 1);
  return ping < status ? ping : status;
}

void ServiceHeartbeat::Tick(std::uint32_t now_tick) {
  if (!notifier_->Active() || stopping_) return;
  std::string message;
  if (!ready_) message = "READY=1\n";
  if (!ready_ || Until(now_tick, status_tick_, kStatusEveryMs) == 0) {
    message += "STATUS=" + RunStatusText(ledger_->RunFiguresAt(now_tick)) + "\n";
    status_tick_ = now_tick;
  }
  ready_ = true;
  // Whatever made the tick due, the loop turns: the watchdog hears it with every message.
  if (notifier_->WatchdogMs() != 0) {
    message += "WATCHDOG=1\n";
    pinged_tick_ = now_tick;
  }
  if (!message.empty()) notifier_->Send(message);
}

void ServiceHeartbeat::Stopping() {
  if (!notifier_->Active() || stopping_) return;
  stopping_ = true;
  notifier_->Send("STOPPING=1\nSTATUS=stopping\n");
}
