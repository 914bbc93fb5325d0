// Drives the whole monitor through the scripted serial port: bytes that wait, come during a read
// or just after it, refused reads, a device that goes away, lost input, an echoing or a plain
// receiver, the operator's menu and settings, and poll ticks. Each input byte is one event; one
// that scripts bytes takes the next as their count (in threes) and the bytes after as values,
// or nine bytes and then how often they come over.
// Besides the sanitizers' findings, the checks catch a plain receiver's byte gone astray (purged
// during a poll, or read and never accounted for, beyond the frame begun before a loss), an ERR4
// that no lost input caused, an ERR3 that is not the start of an outage, a handle kept during an
// outage, and a call on a handle that is not open.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/resource_ids.h"
#include "display/counters.h"
#include "platform/memory/memory_dialog.h"
#include "platform/memory/memory_surface.h"
#include "platform/memory/memory_window_proc.h"
#include "support/fakes/manual_clock.h"
#include "support/fakes/memory_file_store.h"
#include "support/fakes/scripted_serial_port.h"

namespace {

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}

// The bytes that extraction took out of rx_buffer, as the readings and the error log tell them.
struct Tally : ReadingSink {
  void OnReading(const ReadingEvent&) override { bytes += kFrameSize; }
  void OnError(const ErrorEvent& e) override {
    if (e.code == kErrStrayBytes) bytes += e.arg;
    if (e.code == kErrBadCheck || e.code == kErrSensorId) bytes += kFrameSize;
    full += e.code == kErrBufferFull;
    refused += e.code == kErrPortRead;
  }
  void OnPortLost(const PortEvent&) override { ++lost; }
  void OnPortBack(const PortEvent&) override { ++back; }
  long bytes = 0, full = 0, refused = 0, lost = 0, back = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ManualClock clock;
  ScriptedSerialPort port(&clock);
  MemorySurface surface(&clock);
  MemoryFileStore files;
  Tally tally;
  ResetMonitorState();
  g_platform = Platform{&port, &clock, &surface, &files, &tally};
  std::size_t at = 0;
  const auto next = [&] { return at < size ? data[at++] : std::uint8_t{0}; };
  const auto bytes = [&] {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(next()) * 3);
    for (std::uint8_t& v : b) v = next();
    return b;
  };
  static const std::uint8_t kSensors[8] = {1, 4, 6, 9, 10, 20, 32, 0};
  static const int kCommands[4] = {CMD_OPEN, CMD_START, CMD_STOP, CMD_CLOSE};
  const std::uint8_t first = next();
  files.PutFile("wscfg.cfg", {1, static_cast<std::uint8_t>(first % 3), 0, kSensors[first >> 5]});
  const WindowHandle main = surface.CreateMainWindow(MonitorWindowProc);

  long read_base = 0;  // what the port had given before the latest open, less what it accounts
  long losses = 0;     // polls that lost input, each owed one ERR4
  const auto choose = [&](int command) {
    if (surface.MenuState(command) != kMenuEnabled) return;
    surface.Dispatch(main, MemoryMessage::kCommand, command);
    if (command == CMD_OPEN) {
      read_base = static_cast<long>(port.BytesRead()) - tally.bytes - g_state.rx_length;
    }
  };
  bool lose = false;
  while (at < size && !surface.QuitPosted()) {
    const std::uint8_t event = next() % 16;
    if (event <= 1) port.Arrive(bytes());
    if (event == 2) port.ArriveDuringNextRead(bytes());
    if (event == 3) port.ArriveAfterNextRead(bytes());
    if (event == 4) port.FailNextRead();
    if (event == 5) port.SetLineLost(next() % 2 == 0);
    if (event == 6) port.LoseInput(), lose = true;
    if (event == 7)
      port.ReplyToWrites(next() % 2 ? std::vector<std::uint8_t>{0x41, 0x42, 0x43}
                                    : std::vector<std::uint8_t>{});
    if (event == 8) port.SetPresent(1, next() % 4 != 0);
    if (event == 15) {  // a backlog: nine bytes (a frame, or not) many times over
      const std::vector<std::uint8_t> nine = {next(), next(), next(), next(), next(),
                                              next(), next(), next(), next()};
      for (int n = next() * 2; n > 0; --n) port.Arrive(nine);
    }
    if (event >= 9 && event <= 12) choose(kCommands[event - 9]);
    if (event == 13) {
      const int how = next();
      const std::string sensors = std::to_string(next() % 40);
      surface.SetDialogHandler([how, sensors](WindowHandle) {
        return RunMemorySettingsDialog([how, &sensors](MemoryDialog& d) {
          d.Click(IDC_BAUD_9600 + how % 3);
          d.Type(IDC_SENSOR_COUNT, sensors);
          return how & 0x80 ? IDC_EXIT : IDC_CONFIRM;
        });
      });
      choose(CMD_SETTINGS);
    }
    for (int step = event == 14 ? next() % 10 + 1 : 0; step > 0; --step) {
      clock.Advance(100);
      if (surface.TimerDue(clock.TickCount()) < 0) continue;
      const int purges = port.PurgeCalls();
      const long refused = tally.refused;
      const int was_lost = g_state.port_lost;
      const long back = tally.back;
      surface.Dispatch(main, MemoryMessage::kTimer, POLL_TIMER_ID);
      // A poll that ends with the port answering has asked the driver about lost input.
      if (g_state.port_lost == 0) {
        losses += lose;
        lose = false;
      }
      Check(g_state.rx_skip != 0 || tally.refused > refused || port.PurgeCalls() == purges,
            "a plain receiver's port is purged during a poll only after a refused read");
      Check(tally.refused == tally.lost, "each ERR3 starts an outage, and each outage has one");
      Check(was_lost == 0 || tally.refused == refused || tally.back > back,
            "no second ERR3 before the port has come back");
      if (tally.refused > refused) {
        // A loss drops the frame begun before it, and nothing else.
        const long dropped = static_cast<long>(port.BytesRead()) - read_base - tally.bytes;
        Check(g_state.rx_skip != 0 || (dropped >= 0 && dropped < kFrameSize),
              "a loss drops at most the bytes of one frame");
        read_base += dropped;
      }
    }
    Check(g_state.port_lost == 0 || (g_state.port_handle == kInvalidPort && port.OpenPorts() == 0),
          "no handle is kept during an outage");
    Check(g_state.rx_length >= 0 && g_state.rx_length <= kRxBufferSize, "rx_length in range");
    Check(g_state.frame_count <= kFrameTableSize, "frame_count in range");
    Check(port.CallsOnClosedHandles() == 0, "no call on a handle that is not open");
    Check(tally.full == losses, "an ERR4 for each poll that lost input, and no other");
    Check(g_state.rx_skip != 0 ||
              static_cast<long>(port.BytesRead()) - read_base == tally.bytes + g_state.rx_length,
          "every byte a plain receiver gave is in rx_buffer or was extracted");
  }
  g_platform = Platform{};
  ResetMonitorState();
  return 0;
}
