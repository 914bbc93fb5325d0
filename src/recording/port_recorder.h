// Records what the serial port gives the monitor (recording_format.h) while it passes every call
// on to the real port: it stands in the monitor's platform record as its serial port, its clock
// and its dispatch observer.
//
// The monitor reads the clock after the port's answers (a reading's time is read after the read
// that brought it). So that a replay can hand it the very same times, the clock it sees during a
// menu command or a poll stands still at the time of the last record written, and moves on with
// each new record; between messages it is the real clock. A message's records go out together,
// in one write, when it ends; a poll that found nothing writes nothing. The outputs' threads
// may read the clock while the monitor's thread moves it.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/clock.h"
#include "app/dispatch_observer.h"
#include "recording/recording_format.h"
#include "serial/serial_port.h"

class PortRecorder : public SerialPort, public Clock, public DispatchObserver {
 public:
  // Takes lines of records, whole; on the monitor's thread.
  using Output = std::function<void(const std::string& lines)>;
  // The device a port number names ("COM1", "/dev/ttyUSB0").
  using PathOf = std::function<std::string(int port_number)>;

  // port may come later (SetPort), before the monitor uses it.
  PortRecorder(SerialPort* port, Clock* clock, PathOf path_of, Output output);
  void SetPort(SerialPort* port) { port_ = port; }
  PortRecorder(const PortRecorder&) = delete;
  PortRecorder& operator=(const PortRecorder&) = delete;

  // The first line, naming the program that writes it ("wsmon 1.50").
  void Start(const std::string& program);
  // The closing record, once the monitor is done with the port.
  void Finish();
  // The first line of the next file of the same monitor (a run of its own), between two
  // messages, and the open command that opened its port, as recorded then but at the time of
  // now: a replay of that file alone opens the port as the monitor had it (the receiver's
  // answer to the probe included).
  void Restart(const std::string& program);
  // The record of lines that were skipped (a full disk), to go before the next that is written.
  std::string GapRecord(std::uint64_t records, std::uint64_t bytes);

  void BeginCommand(int command) override;
  void BeginPoll() override;
  void EndDispatch() override;
  void Stalled(std::uint32_t tick, const LocalTime& time, std::uint32_t late_ms) override;

  int PlatformId() override { return port_->PlatformId(); }
  PortHandle Open(int port_number) override;
  PortHandle Reopen(int port_number) override;
  int SetBaud(PortHandle port, std::uint32_t baud) override;
  void Purge(PortHandle port) override { port_->Purge(port); }
  int WaitingCount(PortHandle port) override;
  int LostInput(PortHandle port) override;
  int Read(PortHandle port, std::uint8_t* dst, std::uint32_t count) override;
  int WriteOverlapped(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  int WritePlain(PortHandle port, const std::uint8_t* src, std::uint32_t count) override;
  void Close(PortHandle port) override;

  std::uint32_t TickCount() override;
  LocalTime Now() override;
  void Sleep(std::uint32_t ms) override { clock_->Sleep(ms); }

 private:
  // A record of this kind at the clock's time now; the monitor's clock moves to it.
  Record& Begin(RecordKind kind);
  // The same at the given time.
  Record& Begin(RecordKind kind, std::uint32_t tick, const LocalTime& time);
  // Adds the record (after the poll's own, when it is the poll's first).
  void Add();
  void Write(const std::uint8_t* src, int written);
  void Flush();

  SerialPort* port_;
  Clock* clock_;
  PathOf path_of_;
  Output output_;
  Record record_;
  std::string pending_;
  int command_ = 0;                // the menu command under way, 0 for a poll
  mutable std::mutex time_mutex_;  // over depth_, tick_ and time_
  int depth_ = 0;                  // messages under way (they do not nest, but a count is safe)
  bool poll_pending_ = false;      // a poll began whose record is not written yet
  std::uint32_t poll_tick_ = 0;
  LocalTime poll_time_ = {};
  std::uint32_t tick_ = 0;  // the clock as the monitor sees it during a message
  LocalTime time_ = {};
  int waiting_ = -1;  // the waiting count told since the last read, or -1
  // The records of the open command under way or of the last one that opened the port.
  std::vector<Record> open_records_;
  bool in_open_ = false;
};
