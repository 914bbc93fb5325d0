#include "outputs/csv_export.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/monitor_state.h"
#include "display/counters.h"
#include "display/hex_dump.h"
#include "ledger/ledger_fields.h"
#include "platform/posix/posix_file_store.h"
#include "settings/free_name.h"

namespace {

const char kReadingsHeader[] =
    "sensor,time,number,temperature_C,humidity_RH,interval_s,extra_byte,frame\r\n";
const char kErrorsHeader[] = "time,code,detail,bytes\r\n";
constexpr std::size_t kTimeSize = 40;
constexpr std::size_t kNumberSize = 16;

// "2026-04-04T09:05:00"; out holds kTimeSize bytes (fields of up to five digits each).
void FormatTime(const LocalTime& t, char* out) {
  std::snprintf(out, kTimeSize, "%04u-%02u-%02uT%02u:%02u:%02u", unsigned{t.year},
                unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                unsigned{t.second});
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

// Exact decimals, from the integers: sixteenths of a degree with the four decimals they need,
// tenths with one, milliseconds as seconds with three. out holds kNumberSize bytes.
void FormatSixteenths(int sixteenths, char* out) {
  const unsigned magnitude =
      sixteenths < 0 ? 0u - static_cast<unsigned>(sixteenths) : static_cast<unsigned>(sixteenths);
  std::snprintf(out, kNumberSize, "%s%u.%04u", sixteenths < 0 ? "-" : "", magnitude / 16,
                magnitude % 16 * 625);
}

void FormatTenths(unsigned tenths, char* out) {
  std::snprintf(out, kNumberSize, "%u.%u", tenths / 10, tenths % 10);
}

void FormatMilliseconds(unsigned ms, char* out) {
  std::snprintf(out, kNumberSize, "%u.%03u", ms / 1000, ms % 1000);
}

std::string Reason(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

}  // namespace

bool CsvRowFile::Begin(const char* header, std::string* problem) {
  Discard();
  // An unnamed file leaves nothing behind if the program dies; where the file system has none,
  // a hidden named one stands in until the export names it.
  fd_ = ::open(".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    char name[] = ".wsmon-run-XXXXXX.csv";
    fd_ = mkostemps(name, 4, O_CLOEXEC);
    if (fd_ < 0) {
      *problem = Reason("--csv: no file can be made in the start directory", errno);
      return false;
    }
    temp_name_ = name;
    // The mode the unnamed file and the export get, not mkstemp's private one.
    const mode_t mask = umask(0);
    umask(mask);
    (void)fchmod(fd_, 0644 & ~mask);
  }
  Append(header, std::strlen(header));
  return true;
}

void CsvRowFile::Append(const char* record, std::size_t length) {
  if (fd_ < 0) return;
  if (used_ + length > sizeof buffer_ && !Flush()) return;
  std::memcpy(buffer_ + used_, record, length);  // a record is far shorter than the buffer
  used_ += length;
}

bool CsvRowFile::Flush() {
  // The file store's write goes on through interruptions and partial writes; errno tells why it
  // stopped short.
  errno = 0;
  const int count = static_cast<int>(used_);
  if (error_ == 0 && count > 0 && PosixFileStore().Write(fd_, buffer_, count) != count)
    error_ = errno != 0 ? errno : EIO;
  used_ = 0;  // after a failure the file is incomplete anyway: it will not be published
  return error_ == 0;
}

bool CsvRowFile::Name(const std::string& name) {
  if (temp_name_.empty()) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }
  // link() never replaces a file; a file system without hard links gets a rename after a look.
  if (link(temp_name_.c_str(), name.c_str()) == 0) {
    unlink(temp_name_.c_str());
    temp_name_.clear();
    return true;
  }
  if (errno == EEXIST || access(name.c_str(), F_OK) == 0) {
    errno = EEXIST;
    return false;
  }
  if (std::rename(temp_name_.c_str(), name.c_str()) != 0) return false;
  temp_name_.clear();
  return true;
}

bool CsvRowFile::Publish(const std::string& base, std::string* name, std::string* problem) {
  if (fd_ < 0) return false;
  errno = 0;
  const bool complete = Flush() && fsync(fd_) == 0;
  // Names the file where nothing exists under the name yet.
  struct Claimer : NameClaimer {
    explicit Claimer(CsvRowFile* f) : file(f) {}
    NameClaim Claim(const char* candidate) override {
      if (file->Name(candidate)) return NameClaim::kClaimed;
      return errno == EEXIST ? NameClaim::kTaken : NameClaim::kFailed;
    }
    CsvRowFile* file;
  } claimer(this);
  std::vector<char> candidate(base.size() + 16);  // room for "_999.csv"
  const bool named =
      complete && ClaimFreeName(base.c_str(), ".csv", claimer, candidate.data(), candidate.size());
  *name = candidate.data();
  if (!named)
    *problem = Reason(("--csv: " + base + ".csv not written").c_str(), error_ ? error_ : errno);
  Discard();
  return named;
}

void CsvRowFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_name_.empty()) unlink(temp_name_.c_str());
  fd_ = -1;
  temp_name_.clear();
  error_ = 0;
  used_ = 0;
}

void CsvExport::OnRunStarted() {
  exported_stem_.clear();
  std::string problem;
  if (!readings_.Begin(kReadingsHeader, &problem) || !errors_.Begin(kErrorsHeader, &problem)) {
    // Both go: a file left from an earlier run must not be published as this run's.
    readings_.Discard();
    errors_.Discard();
    report_(problem);
  }
}

void CsvExport::OnReading(const ReadingEvent& r) {
  char time[kTimeSize], frame[3 * kFrameSize + 1];
  char temperature[kNumberSize] = "", humidity[kNumberSize] = "", interval[kNumberSize] = "";
  FormatTime(r.time, time);
  if (r.has_temperature) FormatSixteenths(r.temperature_sixteenths, temperature);
  if (r.has_humidity) FormatTenths(static_cast<unsigned>(r.humidity_tenths), humidity);
  if (r.has_interval) FormatMilliseconds(r.interval_ms, interval);
  FormatHexDump(r.frame, kFrameSize, ' ', HexSeparator::kBetween, frame, sizeof frame);
  char record[160];
  const int n = std::snprintf(record, sizeof record, "%d,%s,%d,%s,%s,%s,%d,%s\r\n", r.sensor_id,
                              time, r.number, temperature, humidity, interval, r.frame[2], frame);
  readings_.Append(record, static_cast<std::size_t>(n));
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
  for (const LedgerField& f : SensorFields(SensorFigures{})) {
    header += (header.empty() ? "" : ",") + std::string(f.key);
  }
  return header + "\r\n";
}

std::string SensorsCsvRecord(const SensorFigures& row) {
  std::vector<LedgerField> own;
  if (row.row == kRefusedRow) own = RefusedFields(row);
  std::string record;
  bool first = true;
  for (const LedgerField& f : SensorFields(row)) {
    std::string value = PlainText(f);
    if (row.row == kRefusedRow) {
      const std::string key = f.key;
      value = key == "sensor" ? "refused" : "";
      for (const LedgerField& r : own) {
        if (key == r.key || (key == "readings" && std::string(r.key) == "frames")) {
          value = PlainText(r);
        }
      }
    }
    record += (first ? "" : ",") + value;
    first = false;
  }
  return record + "\r\n";
}

void CsvExport::OnRunStopped(std::uint32_t tick) {
  if (ledger_ == nullptr || exported_stem_.empty()) return;
  // The ledger may hear of the end after this listener; a second telling changes nothing.
  ledger_->OnRunStopped(tick);
  WriteSensors(tick);
  exported_stem_.clear();
}

void CsvExport::WriteSensors(std::uint32_t tick) {
  CsvRowFile file;
  std::string name, problem;
  const std::string header = SensorsCsvHeader();
  if (!file.Begin(header.c_str(), &problem)) {
    report_(problem);
    return;
  }
  for (int row = ledger_->NextWatched(-1); row >= 0; row = ledger_->NextWatched(row)) {
    if (row == kRefusedRow) continue;  // last, whether watched or not
    const std::string record = SensorsCsvRecord(ledger_->Figures(row, tick));
    file.Append(record.data(), record.size());
  }
  const std::string refused = SensorsCsvRecord(ledger_->Figures(kRefusedRow, tick));
  file.Append(refused.data(), refused.size());
  if (!file.Publish(exported_stem_ + "_sensors", &name, &problem)) report_(problem);
}

void CsvExport::OnExported(const char* file_name) {
  std::string stem = file_name;
  stem.erase(stem.rfind('.') == std::string::npos ? stem.size() : stem.rfind('.'));
  exported_stem_ = stem;
  const std::pair<CsvRowFile*, const char*> files[] = {{&readings_, "_readings"},
                                                       {&errors_, "_errors"}};
  for (const auto& [file, suffix] : files) {
    std::string name, problem;
    // A run whose files could not be made was reported at its start.
    if (!file->Publish(stem + suffix, &name, &problem) && !problem.empty()) report_(problem);
  }
}
