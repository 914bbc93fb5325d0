// The whole monitor on the in-memory platform, hosted as the Linux front ends host it: a main
// window driven through the same window procedure as the programs, a manual clock, a scripted
// serial port and an in-memory file store whose current directory is the start directory.
// Frames and byte streams for the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "platform/memory/memory_dialog.h"
#include "platform/memory/memory_surface.h"
#include "platform/memory/monitor_host.h"
#include "support/fakes/manual_clock.h"
#include "support/fakes/memory_file_store.h"
#include "support/fakes/scripted_serial_port.h"
#include "support/frames.h"

using Lines = std::vector<std::string>;

// Sensor 5: +23.0625 degrees, 45.6 %RH.
Bytes ExampleFrame();
// Whether g_state.read_buffer holds zeros only, as every link operation must leave it.
bool ReadBufferZero();

// Reproducible streams of the kind a damaged line brings: mostly frames (any sensor id, some
// with a broken check byte, some cut short), lone marks and noise.
class StreamSource {
 public:
  explicit StreamSource(std::uint32_t seed) : rng_(seed) {}
  std::uint32_t Next(std::uint32_t bound) { return static_cast<std::uint32_t>(rng_() % bound); }
  Bytes Stream(std::size_t length);

 private:
  std::mt19937 rng_;
};

// Remembers every top index asked for before the box limits it, and keeps the line store's own
// allocations out of the allocation count.
class RecordingSurface : public MemorySurface {
 public:
  using MemorySurface::MemorySurface;
  void SetTopIndex(WindowHandle box, int index) override;
  int AddString(WindowHandle box, const char* line) override;
  void SetTimer(WindowHandle window, int timer_id, unsigned period_ms) override;
  std::vector<std::pair<WindowHandle, int>> top_index_requests;
};

// What the monitor did, in order: "<box>: <line>" for every line added (boxes named panel N,
// log, good, bad, ratio), "beep <type>", "kill timer <id>" and "set timer <id> <period>".
class EventLog : public SurfaceObserver {
 public:
  void OnLineAdded(const MemoryWindow& box, int index) override;
  void OnBeep(unsigned type) override;
  void OnTimer(int timer_id, bool armed, unsigned period_ms) override;
  Lines events;
};

// A reading listener that keeps the readings and the exports' names, counts the runs' starts and
// ends, and puts the port's events into events (when given), in order with the surface's.
struct HeardSink : ReadingSink {
  void OnReading(const ReadingEvent& r) override { readings.push_back(r); }
  void OnError(const ErrorEvent&) override {}
  void OnRunStarted() override { ++starts; }
  void OnRunStopped(std::uint32_t) override { ++stops; }
  void OnExported(const char* name) override { exports.emplace_back(name); }
  void OnPortLost(const PortEvent&) override { Tell("port lost"); }
  void OnPortBack(const PortEvent& e) override { Tell("port back " + std::to_string(e.outage_ms)); }
  void Tell(const std::string& event) {
    if (events != nullptr) events->push_back(event);
  }

  Lines* events = nullptr;
  std::vector<ReadingEvent> readings;
  Lines exports;
  int starts = 0;
  int stops = 0;
};

class AppFixture : public ::testing::Test {
 protected:
  static constexpr const char* kStartDir = "/home/operator/run";

  AppFixture() {
    ResetMonitorState();
    g_platform.report = &reporter_;
  }
  ~AppFixture() override { ResetMonitorState(); }

  // Starts afresh within one test: initial state, a new surface, port and file store.
  void Restart();
  void PutConfig(const Bytes& bytes) { files_.PutFile("wscfg.cfg", bytes); }
  // Creates the main window (the creation sequence runs).
  void Create() {
    host_.Create();
    hwnd_ = host_.window();
  }
  // Creates it with a configuration of COM1 at 9600, this many sensors and saving as given.
  void CreateWith(int sensors, int save = 0);
  // The operator chooses a menu item (greyed or not: the caller decides).
  void Command(int command) { host_.Choose(command); }
  // Opens the settings dialog; the operator acts on it and ends it with the returned button.
  void Settings(const std::function<int(MemoryDialog&)>& operator_actions) {
    host_.ChooseSettings(operator_actions);
  }
  // Confirms the settings dialog with this text typed into the sensor count field.
  void SetSensors(const std::string& typed);
  // Lets time pass in steps, running every poll cycle that falls due.
  void Run(std::uint32_t ms);

  Lines Panel(int i) const { return surface_.Lines(g_state.panel_boxes[i]); }
  Lines Log() const { return surface_.Lines(g_state.error_log_box); }
  // The one line of a counter box (or how many it holds).
  std::string Only(WindowHandle box) const;
  // The counter boxes' lines: good, bad, ratio.
  Lines Counters() const {
    return {Only(g_state.good_count_box), Only(g_state.bad_count_box),
            Only(g_state.error_ratio_box)};
  }
  // The menu as six marks, + enabled and - greyed: open, close, start, stop, settings, exit.
  std::string MenuRow() const;
  // Message boxes shown so far as "caption|text".
  Lines Boxes() const;
  // The four settings: port number, baud index, saving, sensor count.
  static std::vector<int> Stored() {
    return {g_state.port_number, g_state.baud_index, g_state.save_log, g_state.sensor_count};
  }

  ManualClock clock_;
  ScriptedSerialPort port_{&clock_};
  RecordingSurface surface_{&clock_};
  MemoryFileStore files_{kStartDir};
  // What the monitor told its front end beside its message boxes, in order.
  Lines reports_;
  FunctionReporter reporter_{[this](const std::string& text) { reports_.push_back(text); }};
  MonitorHost host_{&port_, &clock_, &files_, &surface_};
  WindowHandle hwnd_ = kNoWindow;
};

// A monitor in the middle of a run: COM1 open, started with sensors_ sensors, panels emptied
// of their header lines. Tests of reception, display and the poll cycle derive from it.
class CoreTest : public AppFixture {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Puts bytes into rx_buffer as earlier receive steps would have.
  void FillRx(const Bytes& bytes);
  Bytes Rx() const { return Bytes(g_state.rx_buffer, g_state.rx_buffer + g_state.rx_length); }

  int sensors_ = 4;
  // Given before SetUp: the reading listener the monitor tells in place of the host's, and an
  // observer of the surface from the moment the run has started.
  ReadingSink* listener_ = nullptr;
  SurfaceObserver* observer_ = nullptr;
};
