// The whole monitor on the in-memory platform: a main window driven through the same window
// procedure as the programs, a manual clock, a scripted serial port and an in-memory file store
// whose current directory is the start directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/monitor_state.h"
#include "platform/memory/manual_clock.h"
#include "platform/memory/memory_dialog.h"
#include "platform/memory/memory_file_store.h"
#include "platform/memory/memory_surface.h"
#include "platform/memory/scripted_serial_port.h"

class AppFixture : public ::testing::Test {
 protected:
  static constexpr const char* kStartDir = "/home/operator/run";

  AppFixture();
  ~AppFixture() override;

  // Starts afresh within one test: initial state, a new surface, port and file store.
  void Restart();
  // Puts a configuration file into the start directory before the window is created.
  void PutConfig(const std::vector<std::uint8_t>& bytes);
  // Creates the main window (the creation sequence runs).
  void Create();
  // Creates the main window with a configuration of this many sensors (saving as given).
  void CreateWith(int sensors, int save = 0);

  // The operator chooses a menu item (greyed or not: the caller decides).
  void Command(int command);
  // Opens the settings dialog; the operator acts on it and ends it with the returned button.
  void Settings(const std::function<int(MemoryDialog&)>& operator_actions);
  // Confirms the settings dialog with this text typed into the sensor count field.
  void SetSensors(const std::string& typed);
  // Lets time pass in steps, running every poll cycle that falls due.
  void Run(std::uint32_t ms);

  // The lines of panel i and of the other boxes.
  const std::vector<std::string>& PanelLines(int i) const;
  const std::vector<std::string>& LogLines() const;
  std::string Only(WindowHandle box) const;
  // The menu as six marks, + enabled and - greyed: open, close, start, stop, settings, exit.
  std::string MenuRow() const;
  // Message boxes shown so far as "caption|text".
  std::vector<std::string> Boxes() const;
  // Frames of 9 bytes with a good check byte.
  static std::vector<std::uint8_t> Frame(std::uint8_t sensor_id, std::uint16_t temp_raw,
                                         std::uint16_t hum_raw, std::uint8_t extra = 0x3A);

  ManualClock clock_;
  ScriptedSerialPort port_{&clock_};
  MemorySurface surface_{&clock_};
  MemoryFileStore files_{kStartDir};
  WindowHandle hwnd_ = kNoWindow;
};
