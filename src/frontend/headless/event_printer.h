// Writes everything the monitor shows as one line per event (UTF-8) on an output stream. The
// format is documented in the README and in `wsmon --help`; tests read it, so it stays stable.
#pragma once

#include <cstdio>
#include <map>
#include <string>

#include "platform/memory/memory_surface.h"
#include "reception/reading_sink.h"

// As a listener to the readings it prints the port's outages alone; the rest shows in the boxes.
class EventPrinter : public SurfaceObserver, public ReadingSink {
 public:
  // out nullptr: the event lines are not written (standard output carries something else).
  explicit EventPrinter(std::FILE* out) : out_(out) {}

  // Service mode, whose lines go to a journal for weeks: the lines of the boxes, the menu, the
  // beeps and the quits are left out (the run's figures come as stats lines at its end), and
  // each export is named ("export NAME").
  void LeaveOutWindowEvents() { window_events_ = false; }

  // A line of the front end's own (command echo, dialog, stats), written in sequence with the
  // events.
  void Note(const std::string& line);
  // A command that was malformed or refused: a line among the events, or "wsmon: LINE" on
  // standard error when the event lines are not written, so that a script still hears of it.
  void Complain(const std::string& line);

  void OnCreated(const MemoryWindow& window) override;
  void OnDestroyed(const MemoryWindow& window) override;
  void OnLineAdded(const MemoryWindow& box, int index) override;
  void OnReset(const MemoryWindow& box) override;
  void OnMenuState(int command, int state) override;
  void OnMessageBox(const char* text, const char* caption, unsigned type) override;
  void OnBeep(unsigned type) override;
  void OnQuit(int exit_code) override;

  void OnReading(const ReadingEvent&) override {}
  void OnError(const ErrorEvent&) override {}
  void OnExported(const char* file_name) override;
  void OnPortLost(const PortEvent& event) override;
  void OnPortBack(const PortEvent& event) override;

 private:
  // What a window is called in the output: "panel N", "log", "good", "bad", "ratio", "window".
  std::string LabelOf(const MemoryWindow& window) const;
  void Emit(const std::string& line);
  void EmitWindowEvent(const std::string& line) {
    if (window_events_) Emit(line);
  }

  std::FILE* out_;
  bool window_events_ = true;
  std::map<WindowHandle, std::string> labels_;
  std::map<int, int> menu_states_;
};
