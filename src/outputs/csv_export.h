// The run's readings and errors as two CSV files beside each export, for spreadsheets and plots:
// RUVEZ_..._readings.csv and RUVEZ_..._errors.csv with the stem of the export's file name; and,
// given the ledger, RUVEZ_..._sensors.csv with its figures of the exported run: a row per
// watched sensor and one for the refused ids, each field named as in ledger_table.h, written
// when the run ends just after its export (so its figures are those at the run's end).
//
// UTF-8, comma-separated, every record ended by CR LF, a header row first. The values are the
// readings' own, as the monitor decoded them: temperatures in degrees Celsius with the four
// decimals that sixteenths of a degree need, humidity with one, intervals with three, all exact.
// A field left empty means no value (a sensor that measured none, or no interval where the
// panels show none). No field ever holds a comma, a quote or a line end, so none is quoted.
//
// Saving off, no export follows a run: such a run is told at its start that it writes nothing.
// A run may last for days: its rows go, as they come, into files named after the run's start
// (RUVEZ_<start>_readings.csv and _errors.csv, beside its journal), which its export renames;
// a run that the user ended without an export removes them with its journal, and a run whose
// export failed, or that never ended, has them renamed with its recovered export
// (csv_row_file.h). The sensors file is written whole at the export. The ledger must hear of a
// run's end before this listener.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "ledger/ledger.h"
#include "outputs/csv_row_file.h"
#include "reception/reading_sink.h"

class CsvExport : public ReadingSink {
 public:
  // report is told of every problem with the files, one line each; the export itself is not
  // affected by them. ledger (may be null: no sensors file) is read on the monitor's thread.
  explicit CsvExport(std::function<void(const std::string&)> report, const Ledger* ledger = nullptr)
      : report_(std::move(report)), ledger_(ledger) {}

  // What a run with saving off is told (it writes no files).
  static const char kWritesNothing[];

  void OnReading(const ReadingEvent& reading) override;
  void OnError(const ErrorEvent& error) override;
  void OnRunStarted() override;
  void OnExported(const char* file_name) override;
  void OnRunDropped() override;
  void OnRunStopped(std::uint32_t tick) override;

 private:
  void WriteSensors(std::uint32_t tick);

  std::function<void(const std::string&)> report_;
  const Ledger* ledger_;
  std::unique_ptr<LedgerSnapshot> snapshot_ = std::make_unique<LedgerSnapshot>();
  CsvRowFile readings_;
  CsvRowFile errors_;
  std::string exported_stem_;  // of the run's export, until the run ends
};

// The sensors file's header and a record of it (each ended by CR LF): the sensor fields of
// ledger_table.h by name; the refused ids' record has "refused" for its sensor, its frames
// (ERR5, which are not readings) under readings, and only the fields that the refused row has.
std::string SensorsCsvHeader();
std::string SensorsCsvRecord(const LedgerSnapshot& snapshot, int row);
