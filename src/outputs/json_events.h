// The monitor's events as JSON records: each function returns the text of one record on one line,
// without the line end. Every record is an object whose first key, "event", names its kind, then
// "time" (local time, ISO 8601 with milliseconds and the offset from UTC then in force:
// "2026-04-04T09:05:00.123+02:00") and "tick_ms" (the monitor's 32-bit millisecond clock, for
// exact differences). Units are in the key names; a
// value the monitor does not have is null. Texts are escaped by the JSON library; bytes that are
// not UTF-8 become U+FFFD.
//
// "header": program ("wsmon"), version (as --version prints it), device (the port's device),
//   baud; first in each JSON Lines output, so that a file appended to by several sessions says
//   where each one's records came from.
// "reading": sensor, number (the running number the panel shows), temperature_C, humidity_RH
//   (exact decimals of the sixteenths and tenths), interval_ms (the interval the panel line
//   shows; null with 10 or more sensors, where the line has none), extra_byte, frame ("CC 05 3A
//   71 01 C8 01 86 DD").
// "error": code ("ERR1" to "ERR5"), number (the error count the line shows), sensor (the frame's
//   id byte for ERR2 and ERR5, else null; a damaged frame's id byte may itself be damaged),
//   stray_bytes (ERR1: how many, else null), bytes (every byte concerned in hex, or null), line
//   (the error log line).
// "run_started": sensor_count, sequence_byte.   "run_stopped": duration_ms.
// "export": file.   "port_lost".   "port_back": outage_ms.
// "monitor_stall": late_ms (a poll that came more than 2 s late: the monitor stood still).
// "ledger": run (an object) and sensors (an array: one object per watched sensor, by id) and
//   refused (an object for the ids of 32 or more); the keys and values are the record fields of
//   ledger/ledger_table.h.
// "records_dropped": count, written before the next record that got through after records were
//   dropped because the reader did not keep up.
// "records_skipped": count, bytes, reason (the system's words); written before the next record
//   that got into a file after records were skipped because its disk refused them (full).
#pragma once

#include <cstdint>
#include <string>

#include "app/local_time.h"
#include "ledger/ledger_figures.h"
#include "ledger/ledger_table.h"
#include "reception/reading_sink.h"

std::string HeaderJson(const LocalTime& time, std::uint32_t tick, const std::string& device,
                       std::uint32_t baud);
std::string ReadingJson(const ReadingEvent& reading);
// A reading's values as its record writes them: the exact decimal, with one decimal at least
// ("23.0625", "-0.5", "23.0"; "45.6", "45.0").
std::string CelsiusText(int sixteenths);
std::string PercentText(int tenths);
std::string ErrorJson(const ErrorEvent& error);
std::string RunStartedJson(const LedgerMoment& at, int sensor_count, bool sequence_byte);
std::string RunStoppedJson(const LedgerMoment& at, std::uint32_t duration_ms);
std::string ExportJson(const LedgerMoment& at, const char* file_name);
std::string PortLostJson(const PortEvent& event);
std::string PortBackJson(const PortEvent& event);
std::string MonitorStallJson(const StallEvent& event);
std::string RecordsDroppedJson(const LedgerMoment& at, std::uint64_t count);
std::string RecordsSkippedJson(const LedgerMoment& at, std::uint64_t count, std::uint64_t bytes,
                               const std::string& reason);

// The "ledger" record of a snapshot taken at `time`.
std::string LedgerJson(const LedgerSnapshot& snapshot, const LocalTime& time);
