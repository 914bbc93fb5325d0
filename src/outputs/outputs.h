// Everything made of the monitor's event stream besides its window, assembled in one place for
// every program: the reception ledger, the CSV files beside each export (--csv), the JSON Lines
// (--json) and the network outputs (--http, --mqtt).
//
// A program starts them before the monitor's window, adds them to its host's listeners and
// runs them as a ticker of its loop, on the monitor's thread. They are a fanout whose first
// listener is the ledger: every event reaches the ledger first, then the outputs, then whatever
// the program adds after them (Add), so every output that reads the ledger at an event sees
// that event counted. Each event becomes one record (record_stream.h):
// the JSON Lines and the network feed take the same encoded line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/clock.h"
#include "ledger/ledger.h"
#include "outputs/csv_export.h"
#include "outputs/json_lines_writer.h"
#include "outputs/line_output.h"
#include "outputs/network/network_outputs.h"
#include "outputs/output_options.h"
#include "outputs/record_stream.h"
#include "reception/host_ticker.h"
#include "reception/reading_fanout.h"

// Where something the outputs tell the operator comes from: a file output's problem, or the
// network outputs (their addresses, the broker's comings and goings).
enum class NoticeSource { kFiles, kNetwork };

class Outputs : public ReadingFanout, public HostTicker {
 public:
  // Told on the monitor's thread, one line each.
  using Report = std::function<void(NoticeSource source, const std::string& text)>;
  // How often what waits for a slow reader of the JSON Lines goes on.
  static constexpr long kPumpMs = 50;

  // Starts the outputs the options ask for. The clock is read on the network outputs' threads
  // too. nullptr, with a message for the user in *error, when one cannot start (the JSON Lines
  // file does not open, an address is in use).
  static std::unique_ptr<Outputs> Start(const OutputOptions& options, Clock* clock, Report report,
                                        std::string* error);
  // Hands on what the network feed still holds, writes out what the JSON Lines still hold (a
  // second at most for a slow reader).
  ~Outputs() override;
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;

  Ledger& ledger() { return ledger_; }
  // Once the settings are read: tells what the outputs will not write with them (--csv with
  // saving off); each run tells it again at its start.
  void TellWhatStaysUnwritten();
  // Writes the ledger's record into the JSON Lines now; nothing without them.
  void WriteLedgerRecord(std::uint32_t now_tick);
  // The JSON Lines go on in another file (--json FILE only): what is still pending goes to the
  // current one first. False, with the current file kept, when the new one does not open.
  bool SwitchJsonFile(const std::string& file, std::string* error);
  // The HTTP server's port, 0 without --http.
  int http_port() const { return network_ ? network_->http_port() : 0; }

  long MillisecondsToTick(std::uint32_t now_tick) const override;
  void Tick(std::uint32_t now_tick) override;

 private:
  Outputs(const OutputOptions& options, Clock* clock, Report report);
  void Tell(NoticeSource source, const std::string& text) {
    if (report_) report_(source, text);
  }

  Report report_;
  bool csv_wanted_;
  Ledger ledger_;
  CsvExport csv_;
  RecordStream records_;
  LineOutput json_file_;
  std::unique_ptr<JsonLinesWriter> json_;
  std::unique_ptr<NetworkOutputs> network_;
};
