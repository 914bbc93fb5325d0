// The records of a run's journal. A journal is a sequence of records, each
//
//   kind (1 byte) | box (1) | payload length (2, little-endian) | header check (1) | payload |
//   CRC-32 of everything before it in the record (4, little-endian)
//
// The header check is the four bytes before it XORed together with 0x5A, so that a damaged
// length is told apart from a record that a crash cut short: a record whose header is sound but
// which runs past the end of the file was being written when the program or the machine died.
//
// The kinds, in the order a run writes them:
//   Run       first: the run's facts (start time, sensor and panel counts, settings)
//   Line      a line added to a panel or to the error log (box), in the export's bytes
//   Replace   a one-line panel's line replaced (box), in the export's bytes
//   Counts    after a poll's lines: the good and bad counts and the local time of the poll
//   Gap       lines that a full disk kept out of the journal, by box
//   End       the run ended: its export is under way (with the temporary file's name), or the
//             run was dropped
//   Exported  the export reached the device under this name: the journal may go
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/local_time.h"

enum class JournalKind : std::uint8_t {
  kRun = 'R',
  kLine = 'L',
  kReplace = 'P',
  kCounts = 'C',
  kGap = 'G',
  kEnd = 'E',
  kExported = 'X',
};

// Box numbers in the records: panels by their index, the error log apart.
constexpr std::uint8_t kJournalLogBox = 0xFF;
// Index of the error log in tables of boxes: after the panels' 40.
constexpr int kJournalBoxes = 41;
constexpr int kJournalLogIndex = kJournalBoxes - 1;
// The table index of a record's box, or -1 for a box number that names none.
int JournalBoxIndex(std::uint8_t box);

constexpr std::size_t kJournalHeaderSize = 5;
constexpr std::size_t kJournalRecordOverhead = kJournalHeaderSize + 4;
constexpr std::size_t kJournalMaxPayload = 1024;
// A line's bytes as the export writes them, without CR LF: at most this many.
constexpr std::size_t kJournalMaxLine = 598;

constexpr std::uint8_t kJournalVersion = 1;

// End reasons.
constexpr std::uint8_t kJournalEndExport = 1;   // the stop: its export follows
constexpr std::uint8_t kJournalEndDropped = 2;  // ended without an export

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t count, std::uint32_t crc = 0);

// Writes one record into out (cap bytes). Returns its size, 0 when it does not fit or the
// payload is too long.
std::size_t EncodeJournalRecord(JournalKind kind, std::uint8_t box, const std::uint8_t* payload,
                                std::size_t length, std::uint8_t* out, std::size_t cap);

// What the bytes at the start of a buffer hold.
enum class JournalParse {
  kRecord,  // a whole sound record
  kShort,   // the start of a record whose rest is not in the buffer
  kBad,     // no sound record: a damaged header, or a whole record that fails its check
};

struct JournalRecord {
  JournalKind kind = JournalKind::kRun;
  std::uint8_t box = 0;
  const std::uint8_t* payload = nullptr;
  std::size_t length = 0;
  std::size_t size = 0;  // of the whole record
};

// Looks at the record at the start of bytes[0, count). *need (when given) is how many bytes the
// whole record takes as its header says: 0 when the header is damaged or not all there.
// Without check, a record whose header is sound is taken without its CRC-32 checked (by a
// reader that checks only the records it uses: JournalRecordSound).
JournalParse ParseJournalRecord(const std::uint8_t* bytes, std::size_t count, JournalRecord* out,
                                std::size_t* need = nullptr, bool check = true);
// Whether a record that ParseJournalRecord took (in its buffer still) passes its CRC-32.
bool JournalRecordSound(const JournalRecord& record);

// The run's facts, as the Run record holds them.
struct JournalRunFacts {
  LocalTime start = {};
  int sensor_count = 0;
  int panel_count = 0;
  int port_number = 0;
  int baud_index = 0;
  int save_log = 0;
};
constexpr std::size_t kJournalRunSize = 13;
void EncodeRunFacts(const JournalRunFacts& facts, std::uint8_t out[kJournalRunSize]);
bool DecodeRunFacts(const std::uint8_t* payload, std::size_t length, JournalRunFacts* facts);

// A poll's counts and local time, as the Counts record holds them.
struct JournalCounts {
  std::uint32_t good = 0;
  std::uint32_t bad = 0;
  LocalTime time = {};
};
constexpr std::size_t kJournalCountsSize = 15;
void EncodeCounts(const JournalCounts& counts, std::uint8_t out[kJournalCountsSize]);
bool DecodeCounts(const std::uint8_t* payload, std::size_t length, JournalCounts* counts);

// A Gap record's entries: (box number, lines) pairs of 5 bytes each.
constexpr std::size_t kJournalGapEntrySize = 5;
void EncodeGapEntry(std::uint8_t box, std::uint32_t lines, std::uint8_t out[kJournalGapEntrySize]);
void DecodeGapEntry(const std::uint8_t* in, std::uint8_t* box, std::uint32_t* lines);
