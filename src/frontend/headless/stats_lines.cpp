#include "frontend/headless/stats_lines.h"

#include "ledger/ledger_table.h"

namespace {

// " KEY=VALUE" for each field but those named skip.
std::string Words(const std::vector<LedgerField>& fields, const char* skip = "") {
  std::string words;
  for (const LedgerField& f : fields) {
    if (std::string(f.key) == skip) continue;
    const std::string value = RecordText(f);
    words += " " + std::string(f.key) + "=" + (value.empty() ? "-" : value);
  }
  return words;
}

}  // namespace

std::vector<std::string> StatsLines(const LedgerSnapshot& s) {
  std::vector<std::string> lines = {"stats run" + Words(RunFields(s))};
  for (int row = 0; row < kLedgerSensorRows; ++row) {
    if (!s.rows[row].watched) continue;
    lines.push_back("stats sensor " + std::to_string(row) + Words(SensorFields(s, row), "sensor"));
  }
  lines.push_back("stats refused" + Words(RefusedFields(s)));
  return lines;
}

void StatsPrinter::Print(std::uint32_t now_tick) {
  ledger_->Snapshot(now_tick, snapshot_);
  for (const std::string& line : StatsLines(snapshot_)) printer_->Note(line);
}

void StatsPrinter::OnRunStopped(std::uint32_t tick) {
  Print(tick);
}
