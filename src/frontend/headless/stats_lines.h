// The reception ledger as the headless monitor's stats lines: "stats run" with the run's
// figures, "stats sensor N" for each watched sensor and "stats refused" for the ids of 32 or
// more, each a list of KEY=VALUE words named and written as in ledger_table.h ("-" where the
// ledger has no value). Printed by the stats command and whenever a run ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/clock.h"
#include "frontend/headless/event_printer.h"
#include "ledger/ledger.h"
#include "reception/reading_sink.h"

std::vector<std::string> StatsLines(const LedgerSnapshot& snapshot);

// Prints the stats lines when a run ends, and when asked. It must hear the events after the
// ledger: the program adds it to the outputs.
class StatsPrinter : public ReadingSink {
 public:
  StatsPrinter(const Ledger* ledger, EventPrinter* printer) : ledger_(ledger), printer_(printer) {}

  // The lines of the ledger at now_tick (during a run; after it, at its end).
  void Print(std::uint32_t now_tick);

  void OnReading(const ReadingEvent&) override {}
  void OnError(const ErrorEvent&) override {}
  void OnRunStopped(std::uint32_t tick) override;

 private:
  const Ledger* ledger_;
  EventPrinter* printer_;
  LedgerSnapshot snapshot_;
};
