#include "outputs/record_stream.h"

#include <utility>

#include "app/monitor_state.h"
#include "outputs/json_events.h"

bool RecordStream::Add(RecordListener* listener) {
  if (listener == nullptr || count_ == kMaxListeners) return false;
  listeners_[count_++] = listener;
  return true;
}

void RecordStream::Send(const EventRecord& record) {
  for (int i = 0; i < count_; ++i) listeners_[i]->OnRecord(record);
}

void RecordStream::Send(EventRecord::Kind kind, std::uint32_t tick, std::string text) {
  EventRecord record;
  record.kind = kind;
  record.tick_ms = tick;
  record.text = std::move(text);
  Send(record);
}

long RecordStream::MillisecondsToLedger(std::uint32_t now_tick) const {
  if (ledger_ == nullptr || !run_active_) return -1;
  const std::uint32_t elapsed = now_tick - run_start_tick_;
  return elapsed >= next_ledger_ms_ ? 0 : static_cast<long>(next_ledger_ms_ - elapsed);
}

void RecordStream::Tick(std::uint32_t now_tick) {
  if (MillisecondsToLedger(now_tick) != 0) return;
  const std::uint32_t elapsed = now_tick - run_start_tick_;
  next_ledger_ms_ = (elapsed / kLedgerPeriodMs + 1) * kLedgerPeriodMs;
  Send(LedgerRecord(now_tick));
}

EventRecord RecordStream::LedgerRecord(std::uint32_t now_tick) {
  EventRecord record;
  record.kind = EventRecord::Kind::kLedger;
  if (ledger_ == nullptr) return record;
  ledger_->Snapshot(now_tick, snapshot_);
  record.tick_ms = snapshot_.at_tick;
  record.text = LedgerJson(snapshot_, clock_->Now());
  return record;
}

void RecordStream::OnReading(const ReadingEvent& r) {
  if (count_ == 0) return;
  EventRecord record;
  record.kind = EventRecord::Kind::kReading;
  record.text = ReadingJson(r);
  record.tick_ms = r.tick;
  record.sensor = r.sensor_id;
  record.has_temperature = r.has_temperature;
  record.temperature_sixteenths = r.temperature_sixteenths;
  record.has_humidity = r.has_humidity;
  record.humidity_tenths = r.humidity_tenths;
  Send(record);
}

void RecordStream::OnError(const ErrorEvent& error) {
  if (count_ > 0) Send(EventRecord::Kind::kError, error.tick, ErrorJson(error));
}

void RecordStream::OnRunStarted() {
  const LedgerMoment at{clock_->TickCount(), clock_->Now()};
  run_active_ = true;
  run_start_tick_ = at.tick;
  next_ledger_ms_ = kLedgerPeriodMs;
  Send(
      EventRecord::Kind::kRunStarted, at.tick,
      RunStartedJson(at, g_state.sensor_count, ledger_ != nullptr && ledger_->Run().sequence_byte));
}

void RecordStream::OnExported(const char* file_name) {
  const LedgerMoment at{clock_->TickCount(), clock_->Now()};
  Send(EventRecord::Kind::kExport, at.tick, ExportJson(at, file_name));
}

void RecordStream::OnRunStopped(std::uint32_t tick) {
  if (!run_active_) return;
  run_active_ = false;
  Send(EventRecord::Kind::kRunStopped, tick,
       RunStoppedJson({tick, clock_->Now()}, tick - run_start_tick_));
  if (ledger_ != nullptr) Send(LedgerRecord(tick));
}

void RecordStream::OnPortLost(const PortEvent& event) {
  Send(EventRecord::Kind::kPortLost, event.tick, PortLostJson(event));
}

void RecordStream::OnPortBack(const PortEvent& event) {
  Send(EventRecord::Kind::kPortBack, event.tick, PortBackJson(event));
}

void RecordStream::OnMonitorStall(const StallEvent& event) {
  Send(EventRecord::Kind::kMonitorStall, event.tick, MonitorStallJson(event));
}
