#include "journal/journal_format.h"

#include <cstring>

#include "app/monitor_state.h"

namespace {

constexpr std::uint8_t kHeaderCheck = 0x5A;

// The tables of the reflected CRC-32 polynomial 0xEDB88320, made once: entries[0] is the
// byte-at-a-time table, entries[k] the same for a byte followed by k zero bytes, so that eight
// bytes are taken at a time (a journal of a long run is checked at the speed it is read).
struct CrcTable {
  std::uint32_t entries[8][256];
  CrcTable() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[0][i] = c;
    }
    for (int k = 1; k < 8; ++k) {
      for (std::uint32_t i = 0; i < 256; ++i) {
        const std::uint32_t c = entries[k - 1][i];
        entries[k][i] = (c >> 8) ^ entries[0][c & 0xFF];
      }
    }
  }
};
const CrcTable kCrc;

void Put16(std::uint8_t* out, unsigned value) {
  out[0] = static_cast<std::uint8_t>(value & 0xFF);
  out[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

void Put32(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
}

unsigned Get16(const std::uint8_t* in) {
  return in[0] | (unsigned{in[1]} << 8);
}

std::uint32_t Get32(const std::uint8_t* in) {
  return in[0] | (std::uint32_t{in[1]} << 8) | (std::uint32_t{in[2]} << 16) |
         (std::uint32_t{in[3]} << 24);
}

bool KnownKind(std::uint8_t kind) {
  switch (static_cast<JournalKind>(kind)) {
    case JournalKind::kRun:
    case JournalKind::kLine:
    case JournalKind::kReplace:
    case JournalKind::kCounts:
    case JournalKind::kGap:
    case JournalKind::kEnd:
    case JournalKind::kExported:
      return true;
  }
  return false;
}

// Date and time in 7 bytes: year (2), month, day, hour, minute, second.
void PutTime(std::uint8_t* out, const LocalTime& t) {
  Put16(out, t.year);
  out[2] = static_cast<std::uint8_t>(t.month);
  out[3] = static_cast<std::uint8_t>(t.day);
  out[4] = static_cast<std::uint8_t>(t.hour);
  out[5] = static_cast<std::uint8_t>(t.minute);
  out[6] = static_cast<std::uint8_t>(t.second);
}

LocalTime GetTime(const std::uint8_t* in) {
  LocalTime t;
  t.year = static_cast<std::uint16_t>(Get16(in));
  t.month = in[2];
  t.day = in[3];
  t.hour = in[4];
  t.minute = in[5];
  t.second = in[6];
  return t;
}

}  // namespace

int JournalBoxIndex(std::uint8_t box) {
  if (box == kJournalLogBox) return kJournalLogIndex;
  return box < kPanelTableSize ? box : -1;
}

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t count, std::uint32_t crc) {
  const auto& t = kCrc.entries;
  crc = ~crc;
  for (; count >= 8; bytes += 8, count -= 8) {
    const std::uint32_t low = crc ^ Get32(bytes);
    const std::uint32_t high = Get32(bytes + 4);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^
          t[0][high >> 24];
  }
  for (; count > 0; ++bytes, --count) crc = t[0][(crc ^ *bytes) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::size_t EncodeJournalRecord(JournalKind kind, std::uint8_t box, const std::uint8_t* payload,
                                std::size_t length, std::uint8_t* out, std::size_t cap) {
  const std::size_t size = kJournalRecordOverhead + length;
  if (length > kJournalMaxPayload || size > cap) return 0;
  out[0] = static_cast<std::uint8_t>(kind);
  out[1] = box;
  Put16(out + 2, static_cast<unsigned>(length));
  out[4] = static_cast<std::uint8_t>(out[0] ^ out[1] ^ out[2] ^ out[3] ^ kHeaderCheck);
  if (length > 0) std::memcpy(out + kJournalHeaderSize, payload, length);
  Put32(out + kJournalHeaderSize + length, Crc32(out, kJournalHeaderSize + length));
  return size;
}

JournalParse ParseJournalRecord(const std::uint8_t* bytes, std::size_t count, JournalRecord* out,
                                std::size_t* need, bool check) {
  if (need != nullptr) *need = 0;
  if (count < kJournalHeaderSize) return JournalParse::kShort;
  const std::size_t length = Get16(bytes + 2);
  if ((bytes[0] ^ bytes[1] ^ bytes[2] ^ bytes[3] ^ kHeaderCheck) != bytes[4] ||
      !KnownKind(bytes[0]) || length > kJournalMaxPayload) {
    return JournalParse::kBad;
  }
  const std::size_t size = kJournalRecordOverhead + length;
  if (need != nullptr) *need = size;
  if (count < size) return JournalParse::kShort;
  if (check &&
      Crc32(bytes, kJournalHeaderSize + length) != Get32(bytes + kJournalHeaderSize + length)) {
    return JournalParse::kBad;
  }
  out->kind = static_cast<JournalKind>(bytes[0]);
  out->box = bytes[1];
  out->payload = bytes + kJournalHeaderSize;
  out->length = length;
  out->size = size;
  return JournalParse::kRecord;
}

bool JournalRecordSound(const JournalRecord& record) {
  const std::uint8_t* start = record.payload - kJournalHeaderSize;
  return Crc32(start, kJournalHeaderSize + record.length) == Get32(record.payload + record.length);
}

void EncodeRunFacts(const JournalRunFacts& facts, std::uint8_t out[kJournalRunSize]) {
  out[0] = kJournalVersion;
  PutTime(out + 1, facts.start);
  out[8] = static_cast<std::uint8_t>(facts.sensor_count);
  out[9] = static_cast<std::uint8_t>(facts.panel_count);
  out[10] = static_cast<std::uint8_t>(facts.port_number);
  out[11] = static_cast<std::uint8_t>(facts.baud_index);
  out[12] = static_cast<std::uint8_t>(facts.save_log);
}

bool DecodeRunFacts(const std::uint8_t* payload, std::size_t length, JournalRunFacts* facts) {
  if (length < kJournalRunSize || payload[0] != kJournalVersion) return false;
  facts->start = GetTime(payload + 1);
  facts->sensor_count = payload[8];
  facts->panel_count = payload[9] > kPanelTableSize ? kPanelTableSize : payload[9];
  facts->port_number = payload[10];
  facts->baud_index = payload[11];
  facts->save_log = payload[12];
  return true;
}

void EncodeCounts(const JournalCounts& counts, std::uint8_t out[kJournalCountsSize]) {
  Put32(out, counts.good);
  Put32(out + 4, counts.bad);
  PutTime(out + 8, counts.time);
}

bool DecodeCounts(const std::uint8_t* payload, std::size_t length, JournalCounts* counts) {
  if (length < kJournalCountsSize) return false;
  counts->good = Get32(payload);
  counts->bad = Get32(payload + 4);
  counts->time = GetTime(payload + 8);
  return true;
}

void EncodeGapEntry(std::uint8_t box, std::uint32_t lines, std::uint8_t out[kJournalGapEntrySize]) {
  out[0] = box;
  Put32(out + 1, lines);
}

void DecodeGapEntry(const std::uint8_t* in, std::uint8_t* box, std::uint32_t* lines) {
  *box = in[0];
  *lines = Get32(in + 1);
}
