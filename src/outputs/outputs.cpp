#include "outputs/outputs.h"

#include <utility>

#include "app/monitor_state.h"

Outputs::Outputs(const OutputOptions& options, Clock* clock, Report report)
    : report_(std::move(report)),
      csv_wanted_(options.csv),
      ledger_(clock, options.sequence_byte),
      csv_([this](const std::string& text) { Tell(NoticeSource::kFiles, text); }, &ledger_),
      records_(clock, &ledger_) {
  Add(&ledger_);
}

std::unique_ptr<Outputs> Outputs::Start(const OutputOptions& options, Clock* clock, Report report,
                                        std::string* error) {
  std::unique_ptr<Outputs> out(new Outputs(options, clock, std::move(report)));
  Outputs& o = *out;
  if (options.csv) o.Add(&o.csv_);
  if (options.json) {
    if (!o.json_file_.Open(options.json_file, error)) return nullptr;
    o.json_ = std::make_unique<JsonLinesWriter>(
        &o.json_file_, clock,
        [&o](const std::string& text) { o.Tell(NoticeSource::kFiles, text); });
    o.records_.Add(o.json_.get());
  }
  if (options.NetworkWanted()) {
    o.network_ = NetworkOutputs::Start(
        options.network, clock, &o.ledger_,
        [&o](const std::string& text) { o.Tell(NoticeSource::kNetwork, text); }, error);
    if (!o.network_) return nullptr;
    o.records_.Add(o.network_.get());
  }
  if (o.json_ || o.network_) o.Add(&o.records_);
  // After the ledger, so that a snapshot after a run's end holds the figures at its end.
  if (o.network_) o.Add(o.network_.get());
  return out;
}

Outputs::~Outputs() {
  network_.reset();
  json_.reset();  // writes out what is still pending first
}

void Outputs::TellWhatStaysUnwritten() {
  if (csv_wanted_ && g_state.save_log == 0) Tell(NoticeSource::kFiles, CsvExport::kWritesNothing);
}

void Outputs::WriteLedgerRecord(std::uint32_t now_tick) {
  if (json_) json_->OnRecord(records_.LedgerRecord(now_tick));
}

bool Outputs::SwitchJsonFile(const std::string& file, std::string* error) {
  if (!json_) return true;
  (void)json_->Drain(JsonLinesWriter::kFinalWaitMs);
  return json_file_.Switch(file, error);
}

long Outputs::MillisecondsToTick(std::uint32_t now_tick) const {
  long wait = records_.MillisecondsToLedger(now_tick);
  if (json_ && json_->pending() > 0) wait = SoonerWait(wait, kPumpMs);
  if (network_) wait = SoonerWait(wait, network_->MillisecondsToTick(now_tick));
  return wait;
}

void Outputs::Tick(std::uint32_t now_tick) {
  if (json_) json_->Tick();
  records_.Tick(now_tick);
  if (network_) network_->Tick(now_tick);
}
