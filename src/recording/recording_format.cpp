#include "recording/recording_format.h"

#include <cstdio>
#include <cstring>

#include "app/resource_ids.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::size_t kTimeLength = 23;  // 2024-05-01T12:34:56.789

struct KindWord {
  RecordKind kind;
  const char* name;
};
constexpr KindWord kKindNames[] = {
    {RecordKind::kMenu, "menu"},
    {RecordKind::kPoll, "poll"},
    {RecordKind::kSettings, "settings"},
    {RecordKind::kOpen, "open"},
    {RecordKind::kOpenFailed, "open-failed"},
    {RecordKind::kReopen, "reopen"},
    {RecordKind::kBaud, "baud"},
    {RecordKind::kWrite, "write"},
    {RecordKind::kRead, "read"},
    {RecordKind::kLost, "lost"},
    {RecordKind::kOverrun, "overrun"},
    {RecordKind::kClose, "close"},
    {RecordKind::kReceiver, "receiver"},
    {RecordKind::kGap, "gap"},
    {RecordKind::kEnd, "end"},
    {RecordKind::kStall, "stall"},
};

struct MenuWord {
  int command;
  const char* name;
};
constexpr MenuWord kMenuWords[] = {
    {CMD_OPEN, "open"},   {CMD_CLOSE, "close"}, {CMD_SETTINGS, "settings"},
    {CMD_START, "start"}, {CMD_STOP, "stop"},   {CMD_EXIT, "exit"},
};

const char* KindName(RecordKind kind) {
  for (const KindWord& k : kKindNames) {
    if (k.kind == kind) return k.name;
  }
  return "?";
}

void AppendNumber(std::int64_t value, std::string* out) {
  char text[24];
  const int n = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
  out->append(text, static_cast<std::size_t>(n));
}

void AppendHex(const std::vector<std::uint8_t>& bytes, std::string* out) {
  const std::size_t start = out->size();
  out->resize(start + 2 * bytes.size());
  char* p = &(*out)[start];
  for (const std::uint8_t b : bytes) {
    *p++ = kHexDigits[b >> 4];
    *p++ = kHexDigits[b & 0x0F];
  }
}

// A path as one field that runs to the end of the line: control bytes and the backslash become
// \xNN, so that no path can end the line or be taken for another.
void AppendPath(const std::string& path, std::string* out) {
  for (const char c : path) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || c == '\\') {
      *out += "\\x";
      *out += kHexDigits[b >> 4];
      *out += kHexDigits[b & 0x0F];
    } else {
      *out += c;
    }
  }
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int* year, unsigned* month, unsigned* day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (*month <= 2));
}

unsigned DaysInMonth(unsigned year, unsigned month) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::uint16_t DayOfWeek(std::int64_t days) {
  // 1970-01-01 was a Thursday (4).
  return static_cast<std::uint16_t>(days >= -4 ? (days + 4) % 7 : (days + 5) % 7 + 6);
}

// A cursor over one line: fields separated by single spaces.
class Fields {
 public:
  Fields(const char* line, std::size_t length) : p_(line), end_(line + length) {}

  bool AtEnd() const { return p_ == end_; }
  // The next field; false when there is none.
  bool Next(const char** begin, std::size_t* length) {
    if (p_ == end_) return false;
    if (started_) {
      if (*p_ != ' ') return false;
      ++p_;
    }
    started_ = true;
    const char* start = p_;
    while (p_ != end_ && *p_ != ' ') ++p_;
    *begin = start;
    *length = static_cast<std::size_t>(p_ - start);
    return *length > 0;
  }
  // The rest of the line after the separating space (a path may hold spaces).
  bool Rest(const char** begin, std::size_t* length) {
    if (p_ == end_ || *p_ != ' ') return false;
    ++p_;
    *begin = p_;
    *length = static_cast<std::size_t>(end_ - p_);
    p_ = end_;
    return *length > 0;
  }

 private:
  const char* p_;
  const char* end_;
  bool started_ = false;
};

bool Is(const char* field, std::size_t length, const char* word) {
  return std::strlen(word) == length && std::memcmp(field, word, length) == 0;
}

bool ParseUnsigned(const char* text, std::size_t length, std::uint64_t max, std::uint64_t* value) {
  if (length == 0 || length > 20) return false;
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (v > (max - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

bool NextNumber(Fields& fields, std::uint64_t max, std::int64_t* value) {
  const char* f = nullptr;
  std::size_t n = 0;
  std::uint64_t v = 0;
  if (!fields.Next(&f, &n) || !ParseUnsigned(f, n, max, &v)) return false;
  *value = static_cast<std::int64_t>(v);
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool NextHex(Fields& fields, std::vector<std::uint8_t>* bytes) {
  const char* f = nullptr;
  std::size_t n = 0;
  if (!fields.Next(&f, &n) || n % 2 != 0) return false;
  bytes->resize(n / 2);
  for (std::size_t i = 0; i < n; i += 2) {
    const int hi = HexValue(f[i]);
    const int lo = HexValue(f[i + 1]);
    if (hi < 0 || lo < 0) return false;
    (*bytes)[i / 2] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return true;
}

bool RestPath(Fields& fields, std::string* path) {
  const char* f = nullptr;
  std::size_t n = 0;
  if (!fields.Rest(&f, &n)) return false;
  path->clear();
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(f[i]);
    if (b < 0x20 || b == 0x7F) return false;
    if (f[i] != '\\') {
      *path += f[i];
      continue;
    }
    if (i + 3 >= n || f[i + 1] != 'x') return false;
    const int hi = HexValue(f[i + 2]);
    const int lo = HexValue(f[i + 3]);
    if (hi < 0 || lo < 0) return false;
    *path += static_cast<char>(hi << 4 | lo);
    i += 3;
  }
  return true;
}

// Two to four digits at text into *value, within [min, max].
bool Digits(const char* text, std::size_t count, unsigned min, unsigned max, std::uint16_t* value) {
  std::uint64_t v = 0;
  if (!ParseUnsigned(text, count, max, &v) || v < min) return false;
  *value = static_cast<std::uint16_t>(v);
  return true;
}

bool ParseLocalTime(const char* t, std::size_t length, LocalTime* time) {
  if (length != kTimeLength || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' ||
      t[16] != ':' || t[19] != '.') {
    return false;
  }
  LocalTime r;
  if (!Digits(t, 4, 1601, 9999, &r.year) || !Digits(t + 5, 2, 1, 12, &r.month) ||
      !Digits(t + 8, 2, 1, DaysInMonth(r.year, r.month), &r.day) ||
      !Digits(t + 11, 2, 0, 23, &r.hour) || !Digits(t + 14, 2, 0, 59, &r.minute) ||
      // A leap second shows as :60 on some systems.
      !Digits(t + 17, 2, 0, 60, &r.second) || !Digits(t + 20, 3, 0, 999, &r.milliseconds)) {
    return false;
  }
  r.day_of_week = DayOfWeek(DaysFromCivil(r.year, r.month, r.day));
  *time = r;
  return true;
}

bool ParseMenu(Fields& fields, Record* r) {
  const char* f = nullptr;
  std::size_t n = 0;
  if (!fields.Next(&f, &n)) return false;
  for (const MenuWord& w : kMenuWords) {
    if (Is(f, n, w.name)) {
      r->number = w.command;
      return true;
    }
  }
  return false;
}

bool ParseSettings(Fields& fields, Record* r) {
  static const char* const kKeys[] = {"port=", "baud=", "sensors=", "save="};
  int* const values[] = {&r->settings.port, &r->settings.baud, &r->settings.sensors,
                         &r->settings.save};
  for (int i = 0; i < 4; ++i) {
    const char* f = nullptr;
    std::size_t n = 0;
    const std::size_t key = std::strlen(kKeys[i]);
    std::uint64_t v = 0;
    if (!fields.Next(&f, &n) || n <= key || std::memcmp(f, kKeys[i], key) != 0 ||
        !ParseUnsigned(f + key, n - key, 10000000, &v)) {
      return false;
    }
    *values[i] = static_cast<int>(v);
  }
  return true;
}

// A rate, and "refused" after it when the port refused it.
bool ParseBaud(Fields& fields, Record* r) {
  if (!NextNumber(fields, 10000000, &r->number)) return false;
  r->flag = false;
  if (fields.AtEnd()) return true;
  const char* f = nullptr;
  std::size_t n = 0;
  r->flag = fields.Next(&f, &n) && Is(f, n, "refused");
  return r->flag;
}

// The count asked for ("-" when not known) and the bytes that came.
bool ParseRead(Fields& fields, Record* r) {
  const char* f = nullptr;
  std::size_t n = 0;
  if (!fields.Next(&f, &n)) return false;
  if (Is(f, n, "-")) {
    r->number = -1;
  } else {
    std::uint64_t v = 0;
    if (!ParseUnsigned(f, n, 1u << 20, &v)) return false;
    r->number = static_cast<std::int64_t>(v);
  }
  return NextHex(fields, &r->bytes) && !r->bytes.empty();
}

// One of two words: the flag tells which.
bool ParseEither(Fields& fields, const char* if_set, const char* if_clear, Record* r) {
  const char* f = nullptr;
  std::size_t n = 0;
  if (!fields.Next(&f, &n)) return false;
  r->flag = Is(f, n, if_set);
  return r->flag || Is(f, n, if_clear);
}

bool ParseArguments(Fields& fields, Record* r) {
  switch (r->kind) {
    case RecordKind::kMenu:
      return ParseMenu(fields, r);
    case RecordKind::kSettings:
      return ParseSettings(fields, r);
    case RecordKind::kOpen:
    case RecordKind::kOpenFailed:
    case RecordKind::kReopen:
      return NextNumber(fields, 255, &r->number) && r->number >= 1 && RestPath(fields, &r->path);
    case RecordKind::kBaud:
      return ParseBaud(fields, r);
    case RecordKind::kWrite:
      return NextHex(fields, &r->bytes) && !r->bytes.empty();
    case RecordKind::kRead:
      return ParseRead(fields, r);
    case RecordKind::kLost:
      return ParseEither(fields, "read", "count", r);
    case RecordKind::kReceiver:
      return ParseEither(fields, "echo", "plain", r);
    case RecordKind::kGap:
      return NextNumber(fields, INT64_MAX, &r->number) &&
             NextNumber(fields, INT64_MAX, &r->gap_bytes);
    case RecordKind::kStall:
      // Never 0, which a replay takes for no stall.
      return NextNumber(fields, INT32_MAX, &r->number) && r->number > 0;
    case RecordKind::kPoll:
    case RecordKind::kOverrun:
    case RecordKind::kClose:
    case RecordKind::kEnd:
      return true;
  }
  return false;
}

}  // namespace

std::string RecordingHeader(const std::string& program) {
  std::string line = kRecordingMagic;
  line += ' ';
  AppendNumber(kRecordingVersion, &line);
  line += ' ';
  AppendPath(program, &line);
  line += '\n';
  return line;
}

HeaderCheck CheckHeader(const char* line, std::size_t length, int* version) {
  const std::size_t magic = std::strlen(kRecordingMagic);
  if (length <= magic + 1 || std::memcmp(line, kRecordingMagic, magic) != 0 || line[magic] != ' ') {
    return HeaderCheck::kForeign;
  }
  std::size_t end = magic + 1;
  while (end < length && line[end] != ' ') ++end;
  std::uint64_t v = 0;
  if (!ParseUnsigned(line + magic + 1, end - magic - 1, 1000000, &v) || v == 0) {
    return HeaderCheck::kForeign;
  }
  *version = static_cast<int>(v);
  return v > static_cast<std::uint64_t>(kRecordingVersion) ? HeaderCheck::kNewer
                                                           : HeaderCheck::kRecording;
}

const char* MenuName(int command) {
  for (const MenuWord& w : kMenuWords) {
    if (w.command == command) return w.name;
  }
  return nullptr;
}

void AppendLocalTime(const LocalTime& t, std::string* out) {
  char text[32];
  const int n = std::snprintf(
      text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", unsigned{t.year} % 10000,
      unsigned{t.month} % 100, unsigned{t.day} % 100, unsigned{t.hour} % 100,
      unsigned{t.minute} % 100, unsigned{t.second} % 100, unsigned{t.milliseconds} % 1000);
  out->append(text, static_cast<std::size_t>(n));
}

LocalTime AddMilliseconds(const LocalTime& time, std::uint64_t ms) {
  const std::uint64_t of_day =
      ((time.hour * 60u + time.minute) * 60u + time.second) * 1000u + time.milliseconds + ms;
  const std::int64_t days = DaysFromCivil(time.year, time.month, time.day) +
                            static_cast<std::int64_t>(of_day / 86400000u);
  std::uint64_t rest = of_day % 86400000u;
  LocalTime r;
  int year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(days, &year, &month, &day);
  r.year = static_cast<std::uint16_t>(year);
  r.month = static_cast<std::uint16_t>(month);
  r.day = static_cast<std::uint16_t>(day);
  r.day_of_week = DayOfWeek(days);
  r.milliseconds = static_cast<std::uint16_t>(rest % 1000);
  rest /= 1000;
  r.second = static_cast<std::uint16_t>(rest % 60);
  rest /= 60;
  r.minute = static_cast<std::uint16_t>(rest % 60);
  r.hour = static_cast<std::uint16_t>(rest / 60);
  return r;
}

void AppendRecord(const Record& r, std::string* out) {
  AppendNumber(r.tick, out);
  *out += ' ';
  AppendLocalTime(r.time, out);
  *out += ' ';
  *out += KindName(r.kind);
  switch (r.kind) {
    case RecordKind::kMenu: {
      const char* name = MenuName(static_cast<int>(r.number));
      *out += ' ';
      *out += name != nullptr ? name : "?";
      break;
    }
    case RecordKind::kSettings:
      *out += " port=";
      AppendNumber(r.settings.port, out);
      *out += " baud=";
      AppendNumber(r.settings.baud, out);
      *out += " sensors=";
      AppendNumber(r.settings.sensors, out);
      *out += " save=";
      AppendNumber(r.settings.save, out);
      break;
    case RecordKind::kOpen:
    case RecordKind::kOpenFailed:
    case RecordKind::kReopen:
      *out += ' ';
      AppendNumber(r.number, out);
      *out += ' ';
      AppendPath(r.path.empty() ? std::string("-") : r.path, out);
      break;
    case RecordKind::kBaud:
      *out += ' ';
      AppendNumber(r.number, out);
      if (r.flag) *out += " refused";
      break;
    case RecordKind::kWrite:
      *out += ' ';
      AppendHex(r.bytes, out);
      break;
    case RecordKind::kRead:
      *out += ' ';
      if (r.number < 0) {
        *out += '-';
      } else {
        AppendNumber(r.number, out);
      }
      *out += ' ';
      AppendHex(r.bytes, out);
      break;
    case RecordKind::kLost:
      *out += r.flag ? " read" : " count";
      break;
    case RecordKind::kReceiver:
      *out += r.flag ? " echo" : " plain";
      break;
    case RecordKind::kGap:
      *out += ' ';
      AppendNumber(r.number, out);
      *out += ' ';
      AppendNumber(r.gap_bytes, out);
      break;
    case RecordKind::kStall:
      *out += ' ';
      AppendNumber(r.number, out);
      break;
    case RecordKind::kPoll:
    case RecordKind::kOverrun:
    case RecordKind::kClose:
    case RecordKind::kEnd:
      break;
  }
  *out += '\n';
}

bool ParseRecord(const char* line, std::size_t length, Record* r, std::string* why) {
  Fields fields(line, length);
  const char* f = nullptr;
  std::size_t n = 0;
  std::uint64_t tick = 0;
  if (!fields.Next(&f, &n) || !ParseUnsigned(f, n, UINT32_MAX, &tick)) {
    *why = "no tick count at its start";
    return false;
  }
  r->tick = static_cast<std::uint32_t>(tick);
  if (!fields.Next(&f, &n) || !ParseLocalTime(f, n, &r->time)) {
    *why = "no local time after its tick count";
    return false;
  }
  if (!fields.Next(&f, &n)) {
    *why = "no kind of record";
    return false;
  }
  bool known = false;
  for (const KindWord& k : kKindNames) {
    if (Is(f, n, k.name)) {
      r->kind = k.kind;
      known = true;
      break;
    }
  }
  if (!known) {
    *why = "an unknown kind of record \"" + std::string(f, n < 32 ? n : 32) + "\"";
    return false;
  }
  if (!ParseArguments(fields, r) || !fields.AtEnd()) {
    *why = std::string("a malformed \"") + KindName(r->kind) + "\" record";
    return false;
  }
  return true;
}
