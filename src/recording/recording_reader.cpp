#include "recording/recording_reader.h"

#include <cstring>

namespace {

constexpr std::size_t kChunk = 65536;
constexpr char kNulBytes[] =
    "holds NUL bytes, as the tail of a file that a power cut struck often does";

std::string Count(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

bool RecordingReader::Open(FileStore* files, const std::string& name, std::string* error) {
  Close();
  files_ = files;
  name_ = name;
  file_ = files->OpenRead(name.c_str());
  if (file_ == kInvalidFile) {
    *error = "cannot read " + name + ": no such regular file, or no permission to read it";
    return false;
  }
  buffer_.assign(kChunk + kMaxRecordLine + 1, '\0');
  const char* line = nullptr;
  std::size_t length = 0;
  const bool whole = NextLine(&line, &length);
  if (!whole && state_ != State::kTorn) {
    *error = offset_ == 0 && end_ == 0
                 ? name + " is empty: not a recording"
                 : name + " is not a recording (its first line is " + "too long for one)";
    Close();
    return false;
  }
  int version = 0;
  const char* header = whole ? line : buffer_.data() + start_;
  const std::size_t header_length = whole ? length : end_ - start_;
  switch (CheckHeader(header, header_length, &version)) {
    case HeaderCheck::kForeign:
      *error = name + " is not a recording: its first line does not begin with \"" +
               kRecordingMagic + " " + std::to_string(kRecordingVersion) + "\"";
      Close();
      return false;
    case HeaderCheck::kNewer:
      *error = name + " is a recording of format " + std::to_string(version) +
               ", newer than this program reads (format " + std::to_string(kRecordingVersion) + ")";
      Close();
      return false;
    case HeaderCheck::kRecording:
      break;
  }
  const std::size_t program = std::strlen(kRecordingMagic) + 3;
  made_by_ = header_length > program ? std::string(header + program, header_length - program)
                                     : std::string();
  return true;
}

void RecordingReader::Close() {
  if (file_ != kInvalidFile) files_->Close(file_);
  file_ = kInvalidFile;
  buffer_.clear();
  start_ = end_ = 0;
  at_eof_ = false;
  state_ = State::kReading;
  why_.clear();
  made_by_.clear();
  line_ = offset_ = line_start_ = records_ = 0;
  closed_ = false;
}

bool RecordingReader::Fill() {
  if (at_eof_) return false;
  if (start_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  const std::size_t room = buffer_.size() - end_;
  const int n = files_->Read(file_, reinterpret_cast<std::uint8_t*>(buffer_.data() + end_),
                             static_cast<int>(room < kChunk ? room : kChunk));
  if (n <= 0) {
    at_eof_ = true;
    return false;
  }
  end_ += static_cast<std::size_t>(n);
  return true;
}

bool RecordingReader::NextLine(const char** begin, std::size_t* length) {
  if (state_ != State::kReading) return false;
  std::size_t scanned = start_;
  for (;;) {
    const void* lf = std::memchr(buffer_.data() + scanned, '\n', end_ - scanned);
    if (lf != nullptr) {
      const char* line = buffer_.data() + start_;
      *begin = line;
      *length = static_cast<std::size_t>(static_cast<const char*>(lf) - line);
      ++line_;
      line_start_ = offset_;
      if (*length > kMaxRecordLine) {
        state_ = State::kDamaged;
        why_ = "is longer than any record";
        return false;
      }
      start_ += *length + 1;
      offset_ += *length + 1;
      return true;
    }
    if (end_ - start_ > kMaxRecordLine) {
      ++line_;
      line_start_ = offset_;
      state_ = State::kDamaged;
      why_ = "is longer than any record";
      return false;
    }
    scanned = end_;
    const std::size_t before = start_;
    if (!Fill()) {
      if (end_ > start_) {
        ++line_;
        line_start_ = offset_;
        state_ = State::kTorn;
        if (std::memchr(buffer_.data() + start_, '\0', end_ - start_) != nullptr) {
          state_ = State::kDamaged;
          why_ = kNulBytes;
        }
      } else {
        state_ = State::kEnded;
      }
      return false;
    }
    scanned -= before;  // Fill moved the unread bytes to the front
  }
}

bool RecordingReader::Next(Record* record) {
  const char* line = nullptr;
  std::size_t length = 0;
  if (!NextLine(&line, &length)) return false;
  if (std::memchr(line, '\0', length) != nullptr) {
    state_ = State::kDamaged;
    why_ = kNulBytes;
    return false;
  }
  std::string why;
  if (!ParseRecord(line, length, record, &why)) {
    state_ = State::kDamaged;
    why_ = "is not a record (" + why + ")";
    return false;
  }
  ++records_;
  closed_ = record->kind == RecordKind::kEnd;
  return true;
}

std::string RecordingReader::Ending() const {
  std::string read = Count(records_, "record", "records");
  const std::string where =
      "line " + std::to_string(line_) + " (byte " + std::to_string(line_start_) + ")";
  switch (state_) {
    case State::kReading:
      return read + " read so far";
    case State::kEnded:
      return closed_ ? "all " + read + " read; the recording ends as its program closed it"
                     : "all " + read + " read; the recording ends without its closing record " +
                           "(its program was still writing it, or was ended without closing it)";
    case State::kTorn:
      return read + " read; " + where +
             " is torn (its program was cut off while writing it): the rest was not read";
    case State::kDamaged:
      return read + " read; " + where + " " + why_ + ": the rest was not read";
  }
  return read;
}
