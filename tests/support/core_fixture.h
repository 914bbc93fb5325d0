// A monitor in the middle of a run on the in-memory platform: port open, four sensor panels,
// the error log and the three counter boxes, a manual clock. Tests of reception, display and
// the poll cycle derive from it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "platform/memory/manual_clock.h"
#include "platform/memory/memory_surface.h"
#include "platform/memory/scripted_serial_port.h"

using Bytes = std::vector<std::uint8_t>;

// A frame from sensor id with its check byte set so that bytes 1 to 7 sum to 0 modulo 256.
Bytes MakeFrame(std::uint8_t id, std::uint8_t extra, std::uint8_t temp_lo, std::uint8_t temp_hi,
                std::uint8_t hum_lo, std::uint8_t hum_hi);
// The example frame of sensor 5: +23.0625 degrees, 45.6 %RH.
Bytes ExampleFrame();
Bytes Concat(std::initializer_list<Bytes> parts);

// Reproducible random byte streams of the kind a damaged line brings: mostly frames (any
// sensor id, some with a broken check byte, some cut short), lone marks and noise.
class StreamSource {
 public:
  explicit StreamSource(std::uint32_t seed) : rng_(seed) {}
  std::uint32_t Next(std::uint32_t bound) { return static_cast<std::uint32_t>(rng_() % bound); }
  Bytes Stream(std::size_t length);

 private:
  std::mt19937 rng_;
};

// Remembers every top index the monitor asks a list box for, before the box limits it, and
// keeps the store's own allocations out of the allocation count.
class RecordingSurface : public MemorySurface {
 public:
  using MemorySurface::MemorySurface;
  void SetTopIndex(WindowHandle box, int index) override;
  int AddString(WindowHandle box, const char* line) override;
  void SetTimer(WindowHandle window, int timer_id, unsigned period_ms) override;

  std::vector<std::pair<WindowHandle, int>> top_index_requests;
};

// What the monitor did on the surface, in order: "<box caption>: <line>" for every line added,
// "beep <type>", "kill timer <id>" and "set timer <id> <period>".
class EventLog : public SurfaceObserver {
 public:
  void OnLineAdded(const MemoryWindow& box, int index) override;
  void OnBeep(unsigned type) override;
  void OnTimer(int timer_id, bool armed, unsigned period_ms) override;
  std::vector<std::string> events;
};

class CoreTest : public ::testing::Test {
 protected:
  static constexpr int kPanels = 4;

  void SetUp() override;
  void TearDown() override;

  // Creates live panels for the ids from the current panel_count up to count.
  void AddPanels(int count);
  // Puts bytes into rx_buffer as earlier receive steps would have.
  void FillRx(const Bytes& bytes);
  Bytes Rx() const;
  const std::vector<std::string>& Lines(WindowHandle box) const { return surface_.Lines(box); }
  const std::vector<std::string>& Log() const { return Lines(g_state.error_log_box); }
  const std::vector<std::string>& Panel(int id) const { return Lines(g_state.panel_boxes[id]); }

  ManualClock clock_;
  ScriptedSerialPort port_{&clock_};
  RecordingSurface surface_{&clock_};
  WindowHandle main_ = kNoWindow;
};
