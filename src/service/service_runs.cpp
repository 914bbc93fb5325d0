#include "service/service_runs.h"

#include "app/monitor_state.h"
#include "app/resource_ids.h"

bool ServiceRuns::running() {
  return g_state.running == 1;
}

bool ServiceRuns::Begin() {
  file_save_log_ = g_state.save_log;
  choose_(CMD_OPEN, nullptr);
  if (g_state.port_open != 1) return false;
  g_state.save_log = 1;
  // What came after the probe is the first run's, as what comes across a boundary is the next
  // run's.
  port_->Hold(true);
  choose_(CMD_START, nullptr);
  port_->Hold(false);
  if (!running()) return false;
  schedule_->Begin();
  return true;
}

void ServiceRuns::Rotate() {
  port_->Hold(true);
  choose_(CMD_STOP, "rotation");
  PutBackUnfinishedFrame();
  SwitchFiles();
  choose_(CMD_START, "rotation");
  port_->Hold(false);
  schedule_->Passed();
}

void ServiceRuns::SettingsChanged() {
  file_save_log_ = g_state.save_log;
  g_state.save_log = 1;
}

void ServiceRuns::PutBackUnfinishedFrame() {
  // An echoing receiver's reads drop the bytes at the front of each block: bytes put back
  // there would be dropped, so they stay where they are.
  if (g_state.rx_skip != 0 || g_state.rx_length <= 0 || g_state.rx_length > kRxBufferSize) return;
  port_->PutBack(g_state.rx_buffer, static_cast<std::size_t>(g_state.rx_length));
  g_state.rx_length = 0;
}

void ServiceRuns::SwitchFiles() {
  const LocalTime now = clock_->Now();
  std::string error;
  if (json_files_ != nullptr && json_files_->rotates() && outputs_ != nullptr) {
    const std::string next = json_files_->Claim(now, &error);
    // Without a new file the records go on in the old one: nothing is lost.
    if (next.empty() || !outputs_->SwitchJsonFile(next, &error)) tell_(error);
  }
  if (record_files_ != nullptr && record_files_->rotates() && recording_ != nullptr) {
    FileHandle file = kInvalidFile;
    const std::string next = record_files_->Claim(now, &error, &file);
    // As above: the recording goes on in its file.
    if (next.empty()) {
      tell_(error);
    } else {
      recording_->Switch(file, next);
    }
  }
}
