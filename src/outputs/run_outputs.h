// What a front end makes of the monitor's runs besides its boxes, in one place for both front
// ends: the reception ledger, the CSV files beside each export (--csv) and the JSON Lines stream
// (--json). The ledger hears every event first, so that every output that reads it at an
// event sees that event counted.
//
// A front end makes one, opens it before the monitor starts (the JSON Lines file), adds it to
// the host's fanout and calls Tick from its event loop, on the monitor's thread like everything
// here. Outputs of the ledger that come later belong here too.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/clock.h"
#include "ledger/ledger.h"
#include "outputs/csv_export.h"
#include "outputs/json_lines_writer.h"
#include "reception/reading_fanout.h"

// The outputs chosen on the command line.
struct OutputOptions {
  bool csv = false;            // --csv
  bool sequence_byte = false;  // --sequence-byte: the extra byte is each sensor's count
  bool json = false;           // --json
  std::string json_file;       // its FILE; empty or "-": standard output
  // Whether the JSON Lines go to standard output.
  bool JsonToStandardOutput() const { return json && (json_file.empty() || json_file == "-"); }
};

class RunOutputs {
 public:
  using Report = std::function<void(const std::string&)>;

  // report is told of every problem with an output, one line each, while the monitor runs.
  RunOutputs(const OutputOptions& options, Clock* clock, Report report);
  ~RunOutputs();
  RunOutputs(const RunOutputs&) = delete;
  RunOutputs& operator=(const RunOutputs&) = delete;

  // Opens the JSON Lines output: the named file, appended to (created where it is missing,
  // opened without waiting even when it is a FIFO or a device), or standard output. False with
  // a message for the user in *error when the file does not open.
  bool Open(std::string* error);
  // Adds the ledger and the outputs, in that order, to the host's fanout (before it creates
  // the window). False when the fanout has no room.
  bool AddTo(ReadingFanout& host_fanout);
  // For the front end's event loop, as often as it comes round (at least at every poll): the
  // JSON Lines go on to a slow reader, and the ledger's record goes out every 60 s of a run.
  void Tick(std::uint32_t now_tick);

  Ledger& ledger() { return ledger_; }
  // The JSON Lines writer, or nullptr without --json (or before Open).
  JsonLinesWriter* json() { return json_.get(); }
  // Writes the ledger's record into the JSON Lines now; nothing without them.
  void WriteLedgerRecord(std::uint32_t now_tick);

 private:
  OutputOptions options_;
  Clock* clock_;
  Report report_;
  Ledger ledger_;
  CsvExport csv_;
  int json_fd_ = -1;
  bool json_fd_owned_ = false;
  std::unique_ptr<JsonLinesWriter> json_;
  ReadingFanout fanout_;
};
