#include "outputs/csv_export.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/texts.h"
#include "display/counters.h"
#include "display/hex_dump.h"
#include "journal/run_journal.h"
#include "ledger/ledger_table.h"
#include "storage/whole_file.h"

namespace {

// Whether the refused ids' row has the sensor figure of this key: its own name for it, or nullptr.
const char* RefusesAs(const char* key) {
  for (const LedgerFigure& f : SensorFigureTable()) {
    if (f.key == key) return f.refused_key;
  }
  return nullptr;
}

const char kReadingsHeader[] =
    "sensor,time,number,temperature_C,humidity_RH,interval_s,extra_byte,frame\r\n";
const char kErrorsHeader[] = "time,code,detail,bytes\r\n";
const char kReadingsSuffix[] = "_readings";
const char kErrorsSuffix[] = "_errors";
constexpr std::size_t kTimeSize = 48;

// "2026-04-04T09:05:00.123", to the millisecond as the JSON records and the sensors file have
// it; out holds kTimeSize bytes (fields of up to five digits each).
void FormatTime(const LocalTime& t, char* out) {
  std::snprintf(out, kTimeSize, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", unsigned{t.year},
                unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                unsigned{t.second}, unsigned{t.milliseconds});
}

// What an error event was, in words.
void FormatDetail(const ErrorEvent& e, char* out, std::size_t cap) {
  switch (e.code) {
    case kErrStrayBytes:
      std::snprintf(out, cap, "%d stray byte%s", e.byte_count, e.byte_count == 1 ? "" : "s");
      break;
    case kErrBadCheck:
      std::snprintf(out, cap, "bad check byte");
      break;
    case kErrPortRead:
      std::snprintf(out, cap, "port read failed");
      break;
    case kErrBufferFull:
      std::snprintf(out, cap, "accumulation buffer full");
      break;
    default:
      std::snprintf(out, cap, "sensor id %d is 32 or more", e.byte_count > 1 ? e.bytes[1] : -1);
      break;
  }
}

// A row put together in a buffer large enough for it.
class RowText {
 public:
  explicit RowText(char* buffer) : start_(buffer), end_(buffer) {}
  void Char(char c) { *end_++ = c; }
  // value with at least width digits, then after ('\0' for none).
  void Number(unsigned value, int width, char after) {
    char digits[12];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n < width) digits[n++] = '0';
    while (n > 0) *end_++ = digits[--n];
    if (after != '\0') *end_++ = after;
  }
  char* End() { return end_; }
  void Advance(std::size_t added) { end_ += added; }
  std::size_t Length() const { return static_cast<std::size_t>(end_ - start_); }

 private:
  char* start_;
  char* end_;
};

}  // namespace

const char CsvExport::kWritesNothing[] =
    "--csv writes nothing while saving is off: its files go beside a run's export, and only a "
    "run with saving on (保存数据文件 in the settings) is exported";

void CsvExport::OnRunStarted() {
  exported_stem_.clear();
  readings_.Keep();
  errors_.Keep();
  if (g_state.save_log == 0) {
    // No export will name its files: rather than fill ones that nothing publishes, say so now.
    report_(kWritesNothing);
    return;
  }
  // The run's journal and its CSV files share a stem, so that the run's recovery finds them.
  std::string stem = RunJournalName();
  if (stem.empty()) {
    stem = RunFileStem(g_platform.clock->Now());
  } else {
    stem.erase(stem.size() - std::strlen(text::kJournalExtension));
  }
  std::string problem;
  FileStore* files = g_platform.files;
  if (!readings_.Begin(files, stem + kReadingsSuffix, kReadingsHeader, report_, &problem) ||
      !errors_.Begin(files, stem + kErrorsSuffix, kErrorsHeader, report_, &problem)) {
    readings_.Keep();
    report_(problem);
  }
}

void CsvExport::OnReading(const ReadingEvent& r) {
  // A row for every reading of a run, which a replay makes by the million: put together digit
  // by digit, in the bytes that the formats above write.
  char record[160];
  RowText row(record);
  row.Number(static_cast<unsigned>(r.sensor_id), 1, ',');
  const LocalTime& t = r.time;
  row.Number(t.year, 4, '-');
  row.Number(t.month, 2, '-');
  row.Number(t.day, 2, 'T');
  row.Number(t.hour, 2, ':');
  row.Number(t.minute, 2, ':');
  row.Number(t.second, 2, '.');
  row.Number(t.milliseconds, 3, ',');
  row.Number(static_cast<unsigned>(r.number), 1, ',');
  if (r.has_temperature) {
    const int sixteenths = r.temperature_sixteenths;
    const unsigned magnitude =
        sixteenths < 0 ? 0u - static_cast<unsigned>(sixteenths) : static_cast<unsigned>(sixteenths);
    if (sixteenths < 0) row.Char('-');
    row.Number(magnitude / 16, 1, '.');
    row.Number(magnitude % 16 * 625, 4, '\0');  // the four decimals a sixteenth needs
  }
  row.Char(',');
  if (r.has_humidity) {
    const auto tenths = static_cast<unsigned>(r.humidity_tenths);
    row.Number(tenths / 10, 1, '.');
    row.Number(tenths % 10, 1, '\0');
  }
  row.Char(',');
  if (r.has_interval) {
    row.Number(r.interval_ms / 1000, 1, '.');
    row.Number(r.interval_ms % 1000, 3, '\0');
  }
  row.Char(',');
  row.Number(r.frame[2], 1, ',');
  row.Advance(FormatHexDump(r.frame, kFrameSize, ' ', HexSeparator::kBetween, row.End(),
                            3 * kFrameSize + 1));
  row.Char('\r');
  row.Char('\n');
  readings_.Append(record, row.Length());
}

void CsvExport::OnError(const ErrorEvent& e) {
  char time[kTimeSize], detail[48];
  char bytes[3 * kStrayBufferSize + 1] = "";
  FormatTime(e.time, time);
  FormatDetail(e, detail, sizeof detail);
  if (e.bytes != nullptr) {
    FormatHexDump(e.bytes, e.byte_count, ' ', HexSeparator::kBetween, bytes, sizeof bytes);
  }
  char record[sizeof bytes + 96];
  const int n =
      std::snprintf(record, sizeof record, "%s,ERR%d,%s,%s\r\n", time, e.code, detail, bytes);
  errors_.Append(record, static_cast<std::size_t>(n));
}

std::string SensorsCsvHeader() {
  std::string header;
  for (const LedgerFigure& f : SensorFigureTable()) {
    if (f.key != nullptr) header += (header.empty() ? "" : ",") + std::string(f.key);
  }
  return header + "\r\n";
}

std::string SensorsCsvRecord(const LedgerSnapshot& snapshot, int row) {
  const bool refused = row == kRefusedRow;
  const LedgerFigure& sensor = SensorFigureTable().front();
  std::string record;
  bool first = true;
  for (const LedgerField& f : SensorFields(snapshot, row)) {
    if (!first) record += ",";
    first = false;
    if (refused && f.key == sensor.key) {
      record += "refused";
    } else if (!refused || RefusesAs(f.key) != nullptr) {
      record += RecordText(f);
    }
  }
  return record + "\r\n";
}

void CsvExport::OnRunDropped() {
  readings_.Discard();
  errors_.Discard();
}

void CsvExport::OnRunStopped(std::uint32_t tick) {
  // A run whose export failed keeps its rows under the run's names, for its recovery.
  readings_.Keep();
  errors_.Keep();
  if (ledger_ == nullptr || exported_stem_.empty()) return;
  WriteSensors(tick);
  exported_stem_.clear();
}

void CsvExport::WriteSensors(std::uint32_t tick) {
  // A file that is whole or absent: it is written only at the end.
  WholeFile file;
  const std::string stem = exported_stem_ + "_sensors";
  const auto put = [&file](const std::string& text) {
    return file.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  };
  bool written = file.Begin(g_platform.files, stem.c_str(), ".csv") && put(SensorsCsvHeader());
  ledger_->Snapshot(tick, *snapshot_);
  for (int row = 0; written && row < kLedgerSensorRows; ++row) {
    if (snapshot_->rows[row].watched) written = put(SensorsCsvRecord(*snapshot_, row));
  }
  // The refused ids last, whether watched or not.
  written = written && put(SensorsCsvRecord(*snapshot_, kRefusedRow));
  std::vector<char> name(stem.size() + 16);  // room for "_999.csv"
  if (!written || file.Publish(name.data(), name.size()) != WholeFile::Published::kDone) {
    const std::string why = file.failure().empty() ? "it could not be made" : file.failure();
    report_("--csv: " + stem + ".csv not written: " + why);
  }
}

void CsvExport::OnExported(const char* file_name) {
  std::string stem = file_name;
  stem.erase(stem.rfind('.') == std::string::npos ? stem.size() : stem.rfind('.'));
  exported_stem_ = stem;
  const std::pair<CsvRowFile*, const char*> files[] = {{&readings_, kReadingsSuffix},
                                                       {&errors_, kErrorsSuffix}};
  for (const auto& [file, suffix] : files) {
    std::string name, problem;
    // A run whose files could not be made was reported at its start.
    if (!file->Publish(stem + suffix, &name, &problem) && !problem.empty()) report_(problem);
  }
}
