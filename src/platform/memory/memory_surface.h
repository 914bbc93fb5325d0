// An in-memory window surface: a virtual main window with a menu, a poll timer, captioned list
// boxes that follow the Windows list box rules (lines kept in insertion order, the top index
// limited to the scroll range, one selection), message boxes answered at once, and the settings
// dialog run by whoever drives the surface. The tests and the Linux front ends use it.
//
// Geometry of the modelled boxes (documented figures, not measured from any system):
//   frame 3 px on every side of a captioned box, caption bar 18 px, scroll bars 17 px,
//   line height 16 px; the client height is rounded down to whole lines, as a box without
//   LBS_NOINTEGRALHEIGHT is.
// The main window's outer rectangle is 0, 0, 1024, 768 and its client rectangle 0, 0, 1016, 714.
// A front end that shows the boxes in units of its own (a terminal's character cells) tells the
// surface how many lines each box really shows, so that the monitor's measure of the visible
// lines and the boxes' scroll ranges follow what is on the screen.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/clock.h"
#include "display/window_surface.h"

struct MemoryWindow {
  WindowHandle handle = kNoWindow;
  WindowHandle parent = kNoWindow;
  std::string caption;
  std::uint32_t style = 0;
  Rect rect;  // in the parent's client coordinates (screen coordinates for the main window)
  bool list_box = false;
  bool alive = true;
  // The lines held (at most kBoxLineLimit), and how many older ones the box has dropped since
  // it was last emptied: line i here is the box's line dropped + i since then.
  std::deque<std::string> lines;
  std::uint64_t dropped = 0;
  int top_index = 0;
  int selection = -1;
  int flashes = 0;
};

// Messages that the surface delivers to the main window's procedure.
enum class MemoryMessage { kCreate, kDestroy, kSize, kPaint, kClose, kCommand, kTimer };

// Receives every visible change, in order (for a front end that prints them, or a test).
class SurfaceObserver {
 public:
  virtual ~SurfaceObserver() = default;
  virtual void OnCreated(const MemoryWindow& /*window*/) {}
  virtual void OnDestroyed(const MemoryWindow& /*window*/) {}
  virtual void OnLineAdded(const MemoryWindow& /*box*/, int /*index*/) {}
  virtual void OnReset(const MemoryWindow& /*box*/) {}
  virtual void OnMenuState(int /*command*/, int /*state*/) {}
  virtual void OnTimer(int /*timer_id*/, bool /*armed*/, unsigned /*period_ms*/) {}
  virtual void OnMessageBox(const char* /*text*/, const char* /*caption*/, unsigned /*type*/) {}
  virtual void OnBeep(unsigned /*type*/) {}
  virtual void OnQuit(int /*exit_code*/) {}
};

// How many whole lines a list box shows, for a front end that draws the boxes in its own units.
class LineMeasure {
 public:
  virtual ~LineMeasure() = default;
  virtual int LinesShown(const MemoryWindow& box) = 0;
};

class MemorySurface : public WindowSurface {
 public:
  static constexpr int kFrame = 3;
  static constexpr int kCaptionHeight = 18;
  static constexpr int kScrollBarSize = 17;
  static constexpr int kItemHeight = 16;
  static constexpr Rect kMainWindowRect = {0, 0, 1024, 768};
  static constexpr Rect kMainClientRect = {0, 0, 1016, 714};

  using WindowProc = std::function<void(WindowHandle, MemoryMessage, int param)>;

  // clock (optional) stamps the arming of timers so that TimerDue can tell when they expire.
  explicit MemorySurface(Clock* clock = nullptr);

  // --- Driving the surface (front ends and tests) ------------------------------------------
  void SetScreenSize(int width, int height);
  void SetObserver(SurfaceObserver* observer) { observer_ = observer; }
  // Measures the lines a box shows from now on (nullptr: the modelled pixel figures). The
  // client rectangle of a box is then as high as those lines.
  void SetLineMeasure(LineMeasure* measure) { line_measure_ = measure; }
  // The boxes changed size on the screen: each top index is limited to the new scroll range,
  // as a list box does when it is resized.
  void RefitBoxes();
  // Runs the settings dialog when the monitor asks for it; returns the code it ended with.
  // Without a handler the dialog is left at once with the exit button (301).
  void SetDialogHandler(std::function<int(WindowHandle owner)> handler);
  struct MessageRecord {
    std::string text;
    std::string caption;
    unsigned type;
  };
  // Shows each message box until the operator answers it; returns the button chosen. Without a
  // handler every box is answered with OK at once.
  void SetMessageBoxHandler(std::function<int(const MessageRecord&)> handler);
  // Creates the main window and delivers the creation message to proc (as window creation
  // does). Returns the main window.
  WindowHandle CreateMainWindow(WindowProc proc);
  // Delivers a message to the main window's procedure, then applies the default handling:
  // a close message destroys the main window (delivering the destroy message) and its children.
  void Dispatch(WindowHandle window, MemoryMessage message, int param = 0);
  // The operator resizes the main window.
  void ResizeByOperator(WindowHandle window, const Rect& to);
  // The id of a timer whose period has run out at tick now (and which is still armed), or -1.
  int TimerDue(std::uint32_t now) const;
  // Milliseconds from now until the earliest armed timer is due (0 when overdue), -1 if none.
  long MillisecondsToNextTimer(std::uint32_t now) const;

  // --- Inspection ------------------------------------------------------------------------
  const MemoryWindow* Find(WindowHandle window) const;
  bool IsAlive(WindowHandle window) const;
  // Lines of a list box (empty when it does not exist).
  std::vector<std::string> Lines(WindowHandle box) const;
  int TopIndex(WindowHandle box) const;
  int CurSel(WindowHandle box) const;
  // Live child windows of parent in creation order.
  std::vector<WindowHandle> Children(WindowHandle parent) const;
  // State of a menu item: kMenuEnabled (also for items never touched) or kMenuGrayed.
  int MenuState(int command) const;
  int MenuBarDraws() const { return menu_bar_draws_; }
  bool TimerArmed(int timer_id) const;
  unsigned TimerPeriod(int timer_id) const;
  const std::vector<MessageRecord>& Messages() const { return messages_; }
  int Beeps() const { return beeps_; }
  bool QuitPosted() const { return quit_posted_; }
  int QuitCode() const { return quit_code_; }
  WindowHandle MainWindow() const { return main_window_; }

  // --- WindowSurface -----------------------------------------------------------------------
  void ScreenSize(int* width, int* height) override;
  Rect WindowRect(WindowHandle window) override;
  bool ClientRect(WindowHandle window, Rect* out) override;
  void MoveWindow(WindowHandle window, const Rect& to) override;
  void Repaint(WindowHandle window) override;
  void SendClose(WindowHandle window) override;
  void PostQuit(int exit_code) override;
  void EnableMenuItem(WindowHandle window, int command, int state) override;
  void DrawMenuBar(WindowHandle window) override;
  void SetTimer(WindowHandle window, int timer_id, unsigned period_ms) override;
  void KillTimer(WindowHandle window, int timer_id) override;
  int MessageBox(WindowHandle owner, const char* text, const char* caption, unsigned type) override;
  int SettingsDialog(WindowHandle owner) override;
  void Beep(unsigned type) override;
  WindowHandle CreateListBox(WindowHandle parent, const char* caption, std::uint32_t style, int x,
                             int y, int width, int height) override;
  void DestroyWindow(WindowHandle window) override;
  int AddString(WindowHandle box, const char* line) override;
  void ResetContent(WindowHandle box) override;
  int GetCount(WindowHandle box) override;
  int GetText(WindowHandle box, int index, char* buf, std::size_t cap) override;
  void SetTopIndex(WindowHandle box, int index) override;
  void SetCurSel(WindowHandle box, int index) override;
  int GetItemHeight(WindowHandle box, int index) override;
  void Flash(WindowHandle window) override;

 private:
  struct Timer {
    unsigned period_ms = 0;
    std::uint32_t armed_at = 0;
  };

  MemoryWindow* Live(WindowHandle window);
  MemoryWindow* LiveBox(WindowHandle box);
  WindowHandle NewWindow(MemoryWindow window);
  void Destroy(MemoryWindow& window);
  // Lines a box shows: as the line measure says, or else the client height over the line
  // height, the client height being the box height less frame, caption and horizontal scroll
  // bar, rounded down to whole lines.
  int VisibleLinesOf(const MemoryWindow& box) const;

  Clock* clock_;
  SurfaceObserver* observer_ = nullptr;
  std::function<int(WindowHandle)> dialog_handler_;
  std::function<int(const MessageRecord&)> message_box_handler_;
  LineMeasure* line_measure_ = nullptr;
  WindowProc proc_;
  // Handles are 1 + the index in this table and are never reused, so a stale handle can
  // never name a newer window.
  std::vector<MemoryWindow> windows_;
  WindowHandle main_window_ = kNoWindow;
  int screen_width_ = 1280;
  int screen_height_ = 1024;
  std::map<int, int> menu_states_;
  int menu_bar_draws_ = 0;
  std::map<int, Timer> timers_;
  std::vector<MessageRecord> messages_;
  int beeps_ = 0;
  bool quit_posted_ = false;
  int quit_code_ = 0;
};
