#include "journal/journal_reader.h"

#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kChunk = 256 * 1024;

// Walks the records of an open journal from its start, reading it in large chunks.
class RecordWalker {
 public:
  // Without check, only the records' headers are checked (see ParseJournalRecord).
  RecordWalker(FileStore& files, FileHandle file, std::int64_t limit, bool check = true)
      : files_(files), file_(file), limit_(limit), check_(check), buffer_(kChunk) {}

  // The next record; kShort at the end of what is to be read, kBad for a record that is not
  // sound.
  JournalParse Next(JournalRecord* record, std::size_t* need) {
    for (;;) {
      const JournalParse parse =
          ParseJournalRecord(buffer_.data() + at_, filled_ - at_, record, need, check_);
      if (parse != JournalParse::kShort || ended_) {
        if (parse == JournalParse::kRecord) {
          offset_ += static_cast<std::int64_t>(record->size);
          at_ += record->size;
        }
        return parse;
      }
      Refill();
    }
  }
  // The file offset of the record that Next looks at.
  std::int64_t offset() const { return offset_; }
  bool failed() const { return failed_; }

 private:
  void Refill() {
    std::memmove(buffer_.data(), buffer_.data() + at_, filled_ - at_);
    filled_ -= at_;
    at_ = 0;
    std::size_t room = buffer_.size() - filled_;
    if (limit_ >= 0) {
      const std::int64_t left = limit_ - read_;
      if (left < static_cast<std::int64_t>(room)) room = static_cast<std::size_t>(left);
    }
    const int n =
        room == 0 ? 0 : files_.Read(file_, buffer_.data() + filled_, static_cast<int>(room));
    if (n < 0) failed_ = true;
    if (n <= 0) {
      ended_ = true;
      return;
    }
    filled_ += static_cast<std::size_t>(n);
    read_ += n;
  }

  FileStore& files_;
  FileHandle file_;
  std::int64_t limit_;
  bool check_;
  std::vector<std::uint8_t> buffer_;
  std::size_t at_ = 0;
  std::size_t filled_ = 0;
  std::int64_t read_ = 0;
  std::int64_t offset_ = 0;
  bool ended_ = false;
  bool failed_ = false;
};

// Where the file's last byte that is not zero ends, looking from offset on (offset when there
// is none). A power cut leaves zeros where the file had grown but its data had not reached the
// device.
std::int64_t EndOfData(FileStore& files, FileHandle file, std::int64_t offset) {
  std::uint8_t chunk[4096];
  std::int64_t end = offset;
  for (;;) {
    const int n = files.ReadAt(file, offset, chunk, sizeof chunk);
    if (n <= 0) return end;
    for (int i = 0; i < n; ++i) {
      if (chunk[i] != 0) end = offset + i + 1;
    }
    offset += n;
  }
}

void TakeRecord(const JournalRecord& r, JournalScan* scan) {
  const int box = JournalBoxIndex(r.box);
  switch (r.kind) {
    case JournalKind::kRun:
      break;
    case JournalKind::kLine:
      if (box >= 0) ++scan->lines[box];
      break;
    case JournalKind::kReplace:
      if (box >= 0) {
        scan->one_line[box] = true;
        scan->lines[box] = 1;
        scan->last_line[box].assign(reinterpret_cast<const char*>(r.payload), r.length);
      }
      break;
    case JournalKind::kCounts:
      DecodeCounts(r.payload, r.length, &scan->last);
      break;
    case JournalKind::kGap:
      for (std::size_t at = 0; at + kJournalGapEntrySize <= r.length; at += kJournalGapEntrySize) {
        std::uint8_t gap_box = 0;
        std::uint32_t lines = 0;
        DecodeGapEntry(r.payload + at, &gap_box, &lines);
        const int index = JournalBoxIndex(gap_box);
        if (index < 0) continue;
        scan->lines[index] += lines;
        scan->missing[index] += lines;
      }
      break;
    case JournalKind::kEnd:
      if (r.length > 0) {
        scan->end = r.payload[0];
        scan->temp_name.assign(reinterpret_cast<const char*>(r.payload) + 1, r.length - 1);
      }
      break;
    case JournalKind::kExported:
      scan->exported.assign(reinterpret_cast<const char*>(r.payload), r.length);
      break;
  }
}

}  // namespace

std::uint64_t JournalScan::TotalLines() const {
  std::uint64_t total = 0;
  for (int b = 0; b < kJournalBoxes; ++b) {
    // The lines an export holds: a one-line box's last one, every line of the others.
    total += one_line[b] ? 1 : lines[b];
  }
  return total;
}

std::uint64_t JournalScan::MissingLines() const {
  std::uint64_t total = 0;
  for (int b = 0; b < kJournalBoxes; ++b) total += one_line[b] ? 0 : missing[b];
  return total;
}

bool ScanJournal(FileStore& files, const char* name, JournalScan* scan) {
  *scan = JournalScan{};
  const FileHandle file = files.OpenRead(name);
  if (file == kInvalidFile) {
    scan->failure = files.LastFailure();
    return false;
  }
  scan->file_bytes = files.Size(file);
  RecordWalker walker(files, file, -1);
  JournalRecord record;
  JournalParse parse;
  while ((parse = walker.Next(&record, nullptr)) == JournalParse::kRecord) {
    if (!scan->has_run) {
      // Nothing is worth reading without the run's facts first.
      if (record.kind != JournalKind::kRun ||
          !DecodeRunFacts(record.payload, record.length, &scan->run)) {
        parse = JournalParse::kBad;
        break;
      }
      scan->has_run = true;
      scan->last.time = scan->run.start;
    }
    TakeRecord(record, scan);
  }
  scan->sound_bytes = walker.offset();
  const bool at_end = scan->sound_bytes >= scan->file_bytes;
  if (walker.failed()) {
    scan->failure = files.LastFailure();
  } else if (!at_end) {
    // A record cut short by the end of the file, or by the zeros that follow the part of it that
    // reached the device, was being written when the program or the machine died: the data
    // after the last sound record does not reach beyond one record. Anything else is damage.
    constexpr auto kLongestRecord =
        static_cast<std::int64_t>(kJournalRecordOverhead + kJournalMaxPayload);
    scan->damaged = parse != JournalParse::kShort &&
                    EndOfData(files, file, scan->sound_bytes) > scan->sound_bytes + kLongestRecord;
  }
  files.Close(file);
  if (!scan->has_run && scan->failure.empty()) {
    scan->failure = "no run's journal";
    if (parse == JournalParse::kBad) scan->damaged = true;
  }
  return scan->failure.empty();
}

namespace {

// The lines of box that a gap record says were never written, at most limit.
std::uint64_t GapLines(const JournalRecord& record, int box, std::uint64_t limit) {
  std::uint64_t skipped = 0;
  for (std::size_t at = 0; at + kJournalGapEntrySize <= record.length; at += kJournalGapEntrySize) {
    std::uint8_t gap_box = 0;
    std::uint32_t lines = 0;
    DecodeGapEntry(record.payload + at, &gap_box, &lines);
    if (JournalBoxIndex(gap_box) != box) continue;
    skipped += lines < limit - skipped ? lines : limit - skipped;
  }
  return skipped;
}

}  // namespace

bool ReadJournalLines(FileStore& files, const char* name, std::int64_t sound_bytes, int box,
                      std::uint64_t count,
                      const std::function<bool(const std::uint8_t*, std::size_t)>& line,
                      std::uint64_t* missing) {
  if (count == 0) return true;
  const FileHandle file = files.OpenRead(name);
  if (file == kInvalidFile) return false;
  // The records before sound_bytes were checked as they were scanned (or written): each pass
  // for a box checks again only the records it uses, so that the passes for all the boxes
  // together check each line once.
  RecordWalker walker(files, file, sound_bytes, /*check=*/false);
  JournalRecord record;
  std::uint64_t index = 0;
  bool going = true;
  while (going && index < count && walker.Next(&record, nullptr) == JournalParse::kRecord) {
    const bool used = (record.kind == JournalKind::kLine && JournalBoxIndex(record.box) == box) ||
                      record.kind == JournalKind::kGap;
    if (used && !JournalRecordSound(record)) break;
    if (record.kind == JournalKind::kLine && JournalBoxIndex(record.box) == box) {
      going = line(record.payload, record.length);
      ++index;
    } else if (record.kind == JournalKind::kGap) {
      const std::uint64_t skipped = GapLines(record, box, count - index);
      if (missing != nullptr) *missing += skipped;
      index += skipped;
    }
  }
  const bool read = !walker.failed();
  files.Close(file);
  return going && read;
}
