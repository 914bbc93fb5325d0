// A recording standing in for the serial port. The recording is played message by message (a
// menu command or a poll that found something): its player takes the next message, sets the
// replay's clock to its time and has the monitor handle it, and during that message the port
// answers each call with the message's next record of that call's kind, moving the clock to
// the record's time, so that the monitor reads the same bytes at the same times as it did. A
// call that the message holds no record for gets the usual answer (no bytes waiting, no loss, a
// read that brings nothing, an open that succeeds, a reopen that fails).
#pragma once

#include <cstdint>
#include <string>

#include "app/dispatch_observer.h"
#include "recording/recording_reader.h"
#include "recording/replay_clock.h"
#include "serial/serial_port.h"

class ReplayPort : public SerialPort, public StallSource {
 public:
  // A message of the recording.
  struct Message {
    bool poll = false;
    int command = 0;  // for a menu command
    std::uint32_t tick = 0;
    LocalTime time = {};
  };

  explicit ReplayPort(ReplayClock* clock) : clock_(clock) {}

  // Opens the recording. False with a message for the user when it is not one this program
  // plays.
  bool Open(FileStore* files, const std::string& name, std::string* error);

  // The next message, without taking it; false at the end of what can be played. Records
  // between messages are passed over: a gap (a full disk skipped lines there) is counted.
  bool PeekMessage(Message* message);
  // Takes the message peeked: the clock stands at its time, and the port answers from it until
  // EndMessage.
  void BeginMessage();
  // Passes over whatever of the message the monitor did not ask for (counted), and lets the
  // clock run on.
  void EndMessage();

  const RecordingReader& reader() const { return reader_; }
  // The settings of the run whose start was taken last (all 0 before one).
  const RecordedSettings& settings() const { return settings_; }
  // The device the recorded run opened last (empty before an open): what the run's outputs name.
  const std::string& device() const { return device_; }
  // Records of the port's answers that no call asked for.
  std::uint64_t unasked() const { return unasked_; }
  // Gaps, and the records missing in them.
  std::uint64_t gaps() const { return gaps_; }
  std::uint64_t gap_records() const { return gap_records_; }
  // Bytes of reads handed to the monitor.
  std::uint64_t bytes_read() const { return bytes_read_; }

  int PlatformId() override { return 0; }
  PortHandle Open(int port_number) override;
  PortHandle Reopen(int port_number) override;
  int SetBaud(PortHandle port, std::uint32_t baud) override;
  void Purge(PortHandle) override {}
  int WaitingCount(PortHandle port) override;
  int LostInput(PortHandle port) override;
  int Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) override;
  int WriteOverlapped(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  int WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  void Close(PortHandle port) override;

  std::uint32_t TakeStall() override;

 private:
  static constexpr PortHandle kHandle = 1;
  std::string device_;

  // Reads the next record into next_ (has_next_ false at the end).
  void Advance();
  // The message's next answer of the port, when it is of this kind: taken, the clock moved to
  // its time. nullptr otherwise (the record stays).
  const Record* Take(RecordKind kind);
  // The message's next answer of the port, not taken; nullptr at the message's end.
  const Record* PeekAnswer();
  bool IsOpen(PortHandle port) const { return open_ && port == kHandle; }

  ReplayClock* clock_;
  RecordingReader reader_;
  Record next_;
  Record taken_;
  bool has_next_ = false;
  bool in_message_ = false;
  bool open_ = false;
  RecordedSettings settings_;
  std::uint64_t unasked_ = 0;
  std::uint64_t gaps_ = 0;
  std::uint64_t gap_records_ = 0;
  std::uint64_t bytes_read_ = 0;
};
