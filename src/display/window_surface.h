// What the monitor needs of the window system: the main window, its menu and poll timer,
// captioned list boxes, message boxes, the settings dialog and the beep. The Windows program
// implements it with real windows; the Linux front ends and the tests with an in-memory model.
//
// Texts are UTF-8 in both directions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/handles.h"
#include "app/monitor_state.h"

// Window style bits (the values the Windows program passes on unchanged).
constexpr std::uint32_t kStyleChild = 0x40000000;
constexpr std::uint32_t kStyleVisible = 0x10000000;
constexpr std::uint32_t kStyleCaption = 0x00C00000;
constexpr std::uint32_t kStyleVScroll = 0x00200000;
constexpr std::uint32_t kStyleHScroll = 0x00100000;
// A sensor panel and the error log: captioned, with both scroll bars.
constexpr std::uint32_t kStyleScrolledBox =
    kStyleChild | kStyleVisible | kStyleCaption | kStyleVScroll | kStyleHScroll;
// A counter box: captioned, no scroll bars.
constexpr std::uint32_t kStyleCounterBox = kStyleChild | kStyleVisible | kStyleCaption;

// Menu item states.
constexpr int kMenuEnabled = 0;
constexpr int kMenuGrayed = 3;

// Message box types and the sound of the error log.
constexpr unsigned kBoxOk = 0;
constexpr unsigned kBoxExclamation = 48;
constexpr unsigned kBeepExclamation = 48;

// Result of list box queries that fail.
constexpr int kListError = -1;

// The most lines a list box keeps: far more than any window shows, and scrolling back reaches
// them, while a run of weeks keeps its memory flat. A box that holds this many drops its oldest
// line for each new one; a run's lines are all in its journal (journal/run_journal.h).
constexpr int kBoxLineLimit = 10000;

class WindowSurface {
 public:
  virtual ~WindowSurface() = default;

  // --- Screen and main window -------------------------------------------------------------
  virtual void ScreenSize(int* width, int* height) = 0;
  // Outer rectangle of a window in screen coordinates.
  virtual Rect WindowRect(WindowHandle window) = 0;
  // Client rectangle of a window (origin 0, 0). False when the window does not exist.
  virtual bool ClientRect(WindowHandle window, Rect* out) = 0;
  virtual void MoveWindow(WindowHandle window, const Rect& to) = 0;
  // Has the window handle its paint message at once.
  virtual void Repaint(WindowHandle window) = 0;
  // Sends the close message to the main window and returns after it was handled (the shutdown
  // runs, and the window is destroyed).
  virtual void SendClose(WindowHandle window) = 0;
  // Ends the message loop after the current message.
  virtual void PostQuit(int exit_code) = 0;

  // --- Menu ------------------------------------------------------------------------------
  virtual void EnableMenuItem(WindowHandle window, int command, int state) = 0;
  virtual void DrawMenuBar(WindowHandle window) = 0;

  // --- Timer -----------------------------------------------------------------------------
  virtual void SetTimer(WindowHandle window, int timer_id, unsigned period_ms) = 0;
  virtual void KillTimer(WindowHandle window, int timer_id) = 0;

  // --- Boxes, dialog, sound ----------------------------------------------------------------
  // Modal message box; returns the button chosen (1 for OK).
  virtual int MessageBox(WindowHandle owner, const char* text, const char* caption,
                         unsigned type) = 0;
  // Runs the modal settings dialog; returns the code it ended with (300 confirm, 301 exit).
  virtual int SettingsDialog(WindowHandle owner) = 0;
  virtual void Beep(unsigned type) = 0;

  // --- List boxes --------------------------------------------------------------------------
  // Creates a captioned list box child of parent. Returns kNoWindow when it cannot.
  virtual WindowHandle CreateListBox(WindowHandle parent, const char* caption, std::uint32_t style,
                                     int x, int y, int width, int height) = 0;
  virtual void DestroyWindow(WindowHandle window) = 0;
  // Appends a line, dropping the oldest first when the box holds kBoxLineLimit lines; returns
  // the new line's index, or kListError.
  virtual int AddString(WindowHandle box, const char* line) = 0;
  virtual void ResetContent(WindowHandle box) = 0;
  // Number of lines, or kListError.
  virtual int GetCount(WindowHandle box) = 0;
  // Copies line index into buf (at most cap - 1 bytes, always terminated when cap > 0).
  // Returns the line's full length in bytes, or kListError.
  virtual int GetText(WindowHandle box, int index, char* buf, std::size_t cap) = 0;
  // Scrolls so that line index is at the top, as far as the scroll range allows.
  virtual void SetTopIndex(WindowHandle box, int index) = 0;
  virtual void SetCurSel(WindowHandle box, int index) = 0;
  // Height in pixels of line index, or kListError.
  virtual int GetItemHeight(WindowHandle box, int index) = 0;
  // Flashes the window's caption bar once.
  virtual void Flash(WindowHandle window) = 0;
};
