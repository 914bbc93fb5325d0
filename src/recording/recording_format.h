// A recording of what the serial port gave the monitor: every byte it read, every answer of the
// port that changed what the monitor did, and the menu commands and polls they belong to, each
// with the clock's tick and the local time at which it happened. It is a file of text lines:
//
//   wsmon-recording 1 wsmon 1.50 (git 0123abcdef01)
//   TICK YYYY-MM-DDTHH:MM:SS.mmm KIND [ARGUMENTS]
//
// The first line names the format's version and the program that wrote it; every later line is
// one record. Lines end with LF; a last line without one is torn (the program died while
// writing it) and is never used. A port answer that a record does not state is the usual one:
// no bytes waiting, no loss, an open that succeeds, a reopen that fails (see the README).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/local_time.h"

inline constexpr char kRecordingMagic[] = "wsmon-recording";
inline constexpr int kRecordingVersion = 1;
// No line of a recording is longer: a read of the whole read buffer with its arguments, or a
// device path, fits many times over.
inline constexpr std::size_t kMaxRecordLine = 16384;

enum class RecordKind {
  kMenu,      // menu NAME: the operator chose a menu command (open close settings start stop exit)
  kPoll,      // poll: a poll cycle that found something
  kSettings,  // settings port=N baud=RATE sensors=N save=0|1: those of the run that starts
  kOpen,      // open N PATH: COM<N> (the device PATH) opened
  kOpenFailed,  // open-failed N PATH: it did not open
  kReopen,      // reopen N PATH: the port answered again after it was lost
  kBaud,        // baud RATE [refused]: the line settings took effect (or not: the port closed)
  kWrite,       // write HEX: bytes sent (the probe)
  kRead,        // read WAITING HEX: a read's bytes; WAITING is the count the port said were
                // waiting before it, "-" when the monitor did not ask (the probe's reply)
  kLost,        // lost count | lost read: the port stopped answering a waiting count or a read
  kOverrun,     // overrun: the driver lost received bytes
  kClose,       // close
  kReceiver,    // receiver echo|plain: what the probe found
  kGap,         // gap RECORDS BYTES: lines the disk refused (full), missing here
  kEnd,         // end: the program closed the recording
  kStall,       // stall LATE: the poll found the monitor LATE milliseconds behind its timer
};

struct RecordedSettings {
  int port = 0;
  int baud = 0;
  int sensors = 0;
  int save = 0;
};

struct Record {
  RecordKind kind = RecordKind::kPoll;
  std::uint32_t tick = 0;
  LocalTime time = {};
  // menu: the command's identifier; open, open-failed, reopen: the port number; baud: the rate;
  // read: the waiting count (-1 for "-"); gap: the records skipped; stall: the milliseconds late.
  std::int64_t number = 0;
  std::int64_t gap_bytes = 0;
  // baud: refused; lost: by a read (else by a waiting count); receiver: echo.
  bool flag = false;
  std::string path;                 // open, open-failed, reopen
  RecordedSettings settings;        // settings
  std::vector<std::uint8_t> bytes;  // write, read
};

// The first line of a recording written by program (its name and version), with its LF.
std::string RecordingHeader(const std::string& program);

enum class HeaderCheck { kRecording, kNewer, kForeign };
// What a first line (without its LF) is; *version receives the version of a recording.
HeaderCheck CheckHeader(const char* line, std::size_t length, int* version);

// Appends the record as one line, with its LF.
void AppendRecord(const Record& record, std::string* out);

// Reads one line (without its LF) into *record. False, with the reason in *why, when it is not
// a record of this version.
bool ParseRecord(const char* line, std::size_t length, Record* record, std::string* why);

// The name of a menu command in a record ("open"), or nullptr for an identifier that is none.
const char* MenuName(int command);

// The local time as a record writes it: 2024-05-01T12:34:56.789.
void AppendLocalTime(const LocalTime& time, std::string* out);
// The local time ms milliseconds later (the day of the week too).
LocalTime AddMilliseconds(const LocalTime& time, std::uint64_t ms);
