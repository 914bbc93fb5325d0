#include "platform/memory/memory_surface.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

int Width(const Rect& r) {
  return r.right - r.left;
}
int Height(const Rect& r) {
  return r.bottom - r.top;
}

}  // namespace

MemorySurface::MemorySurface(Clock* clock) : clock_(clock) {}

void MemorySurface::SetScreenSize(int width, int height) {
  screen_width_ = width;
  screen_height_ = height;
}

void MemorySurface::SetDialogHandler(std::function<int(WindowHandle)> handler) {
  dialog_handler_ = std::move(handler);
}

void MemorySurface::SetMessageBoxHandler(std::function<int(const MessageRecord&)> handler) {
  message_box_handler_ = std::move(handler);
}

void MemorySurface::RefitBoxes() {
  for (MemoryWindow& w : windows_) {
    if (!w.alive || !w.list_box) continue;
    const int max_top = std::max(0, static_cast<int>(w.lines.size()) - VisibleLinesOf(w));
    w.top_index = std::clamp(w.top_index, 0, max_top);
  }
}

WindowHandle MemorySurface::CreateMainWindow(WindowProc proc) {
  MemoryWindow main;
  main.rect = kMainWindowRect;
  main_window_ = NewWindow(std::move(main));
  proc_ = std::move(proc);
  if (proc_) proc_(main_window_, MemoryMessage::kCreate, 0);
  return main_window_;
}

void MemorySurface::Dispatch(WindowHandle window, MemoryMessage message, int param) {
  if (window != main_window_ || !IsAlive(window)) return;
  if (proc_) proc_(window, message, param);
  // The default handling of a close message destroys the window, which delivers the destroy
  // message while the window still exists.
  if (message == MemoryMessage::kClose && IsAlive(window)) {
    if (proc_) proc_(window, MemoryMessage::kDestroy, 0);
    if (MemoryWindow* w = Live(window)) Destroy(*w);
  }
}

void MemorySurface::ResizeByOperator(WindowHandle window, const Rect& to) {
  MemoryWindow* w = Live(window);
  if (w == nullptr) return;
  w->rect = to;
  Dispatch(window, MemoryMessage::kSize, 0);
}

int MemorySurface::TimerDue(std::uint32_t now) const {
  for (const auto& [id, timer] : timers_) {
    if (now - timer.armed_at >= timer.period_ms) return id;
  }
  return -1;
}

long MemorySurface::MillisecondsToNextTimer(std::uint32_t now) const {
  long best = -1;
  for (const auto& entry : timers_) {
    const Timer& timer = entry.second;
    const std::uint32_t elapsed = now - timer.armed_at;
    const long left =
        elapsed >= timer.period_ms ? 0L : static_cast<long>(timer.period_ms - elapsed);
    if (best < 0 || left < best) best = left;
  }
  return best;
}

const MemoryWindow* MemorySurface::Find(WindowHandle window) const {
  if (window == kNoWindow || window > windows_.size()) return nullptr;
  return &windows_[window - 1];
}

bool MemorySurface::IsAlive(WindowHandle window) const {
  const MemoryWindow* w = Find(window);
  return w != nullptr && w->alive;
}

std::vector<std::string> MemorySurface::Lines(WindowHandle box) const {
  const MemoryWindow* w = Find(box);
  return w != nullptr ? std::vector<std::string>(w->lines.begin(), w->lines.end())
                      : std::vector<std::string>{};
}

int MemorySurface::TopIndex(WindowHandle box) const {
  const MemoryWindow* w = Find(box);
  return w != nullptr ? w->top_index : kListError;
}

int MemorySurface::CurSel(WindowHandle box) const {
  const MemoryWindow* w = Find(box);
  return w != nullptr ? w->selection : kListError;
}

std::vector<WindowHandle> MemorySurface::Children(WindowHandle parent) const {
  std::vector<WindowHandle> children;
  for (const MemoryWindow& w : windows_) {
    if (w.alive && w.parent == parent && parent != kNoWindow) children.push_back(w.handle);
  }
  return children;
}

int MemorySurface::MenuState(int command) const {
  auto it = menu_states_.find(command);
  return it == menu_states_.end() ? kMenuEnabled : it->second;
}

bool MemorySurface::TimerArmed(int timer_id) const {
  return timers_.count(timer_id) != 0;
}

unsigned MemorySurface::TimerPeriod(int timer_id) const {
  auto it = timers_.find(timer_id);
  return it == timers_.end() ? 0U : it->second.period_ms;
}

// --- WindowSurface -------------------------------------------------------------------------

void MemorySurface::ScreenSize(int* width, int* height) {
  *width = screen_width_;
  *height = screen_height_;
}

Rect MemorySurface::WindowRect(WindowHandle window) {
  const MemoryWindow* w = Live(window);
  return w != nullptr ? w->rect : Rect{};
}

bool MemorySurface::ClientRect(WindowHandle window, Rect* out) {
  const MemoryWindow* w = Live(window);
  if (w == nullptr) return false;
  if (window == main_window_) {
    *out = kMainClientRect;
    return true;
  }
  int width = Width(w->rect) - 2 * kFrame;
  if (w->style & kStyleVScroll) width -= kScrollBarSize;
  const int height = w->list_box ? VisibleLinesOf(*w) * kItemHeight : Height(w->rect) - 2 * kFrame;
  *out = Rect{0, 0, std::max(width, 0), std::max(height, 0)};
  return true;
}

void MemorySurface::MoveWindow(WindowHandle window, const Rect& to) {
  MemoryWindow* w = Live(window);
  if (w == nullptr) return;
  const bool resized = Width(w->rect) != Width(to) || Height(w->rect) != Height(to);
  w->rect = to;
  // Like the real thing, a move that changes the size tells the window about it at once.
  if (resized && window == main_window_) Dispatch(window, MemoryMessage::kSize, 0);
}

void MemorySurface::Repaint(WindowHandle window) {
  if (!IsAlive(window)) return;
  Dispatch(window, MemoryMessage::kPaint, 0);
}

void MemorySurface::SendClose(WindowHandle window) {
  Dispatch(window, MemoryMessage::kClose, 0);
}

void MemorySurface::PostQuit(int exit_code) {
  quit_posted_ = true;
  quit_code_ = exit_code;
  if (observer_) observer_->OnQuit(exit_code);
}

void MemorySurface::EnableMenuItem(WindowHandle /*window*/, int command, int state) {
  menu_states_[command] = state;
  if (observer_) observer_->OnMenuState(command, state);
}

void MemorySurface::DrawMenuBar(WindowHandle /*window*/) {
  ++menu_bar_draws_;
}

void MemorySurface::SetTimer(WindowHandle window, int timer_id, unsigned period_ms) {
  if (!IsAlive(window)) return;
  timers_[timer_id] = Timer{period_ms, clock_ != nullptr ? clock_->TickCount() : 0U};
  if (observer_) observer_->OnTimer(timer_id, true, period_ms);
}

void MemorySurface::KillTimer(WindowHandle /*window*/, int timer_id) {
  if (timers_.erase(timer_id) != 0 && observer_) observer_->OnTimer(timer_id, false, 0);
}

int MemorySurface::MessageBox(WindowHandle /*owner*/, const char* text, const char* caption,
                              unsigned type) {
  messages_.push_back(MessageRecord{text, caption, type});
  if (observer_) observer_->OnMessageBox(text, caption, type);
  if (!message_box_handler_) return 1;           // OK
  const MessageRecord shown = messages_.back();  // the handler may show another box
  return message_box_handler_(shown);
}

int MemorySurface::SettingsDialog(WindowHandle owner) {
  return dialog_handler_ ? dialog_handler_(owner) : 301;
}

void MemorySurface::Beep(unsigned type) {
  ++beeps_;
  if (observer_) observer_->OnBeep(type);
}

WindowHandle MemorySurface::CreateListBox(WindowHandle parent, const char* caption,
                                          std::uint32_t style, int x, int y, int width,
                                          int height) {
  if (!IsAlive(parent)) return kNoWindow;
  MemoryWindow box;
  box.parent = parent;
  box.caption = caption;
  box.style = style;
  box.rect = Rect{x, y, x + width, y + height};
  box.list_box = true;
  const WindowHandle handle = NewWindow(std::move(box));
  if (observer_) observer_->OnCreated(windows_[handle - 1]);
  return handle;
}

void MemorySurface::DestroyWindow(WindowHandle window) {
  if (window == main_window_) {
    if (IsAlive(window) && proc_) proc_(window, MemoryMessage::kDestroy, 0);
  }
  if (MemoryWindow* w = Live(window)) Destroy(*w);
}

int MemorySurface::AddString(WindowHandle box, const char* line) {
  MemoryWindow* w = LiveBox(box);
  if (w == nullptr) return kListError;
  if (w->lines.size() >= static_cast<std::size_t>(kBoxLineLimit)) {
    // The oldest line goes; what was shown keeps its place on the screen.
    w->lines.pop_front();
    ++w->dropped;
    if (w->top_index > 0) --w->top_index;
    if (w->selection >= 0) --w->selection;
  }
  w->lines.emplace_back(line);
  const int index = static_cast<int>(w->lines.size()) - 1;
  if (observer_) observer_->OnLineAdded(*w, index);
  return index;
}

void MemorySurface::ResetContent(WindowHandle box) {
  MemoryWindow* w = LiveBox(box);
  if (w == nullptr) return;
  w->lines.clear();
  w->dropped = 0;
  w->top_index = 0;
  w->selection = -1;
  if (observer_) observer_->OnReset(*w);
}

int MemorySurface::GetCount(WindowHandle box) {
  const MemoryWindow* w = LiveBox(box);
  return w != nullptr ? static_cast<int>(w->lines.size()) : kListError;
}

int MemorySurface::GetText(WindowHandle box, int index, char* buf, std::size_t cap) {
  const MemoryWindow* w = LiveBox(box);
  if (w == nullptr || index < 0 || index >= static_cast<int>(w->lines.size())) return kListError;
  const std::string& line = w->lines[static_cast<std::size_t>(index)];
  if (cap > 0) {
    const std::size_t n = std::min(line.size(), cap - 1);
    std::memcpy(buf, line.data(), n);
    buf[n] = '\0';
  }
  return static_cast<int>(line.size());
}

void MemorySurface::SetTopIndex(WindowHandle box, int index) {
  MemoryWindow* w = LiveBox(box);
  if (w == nullptr) return;
  // The top index never goes past the scroll range: the last page of lines fills the box.
  const int count = static_cast<int>(w->lines.size());
  const int max_top = std::max(0, count - VisibleLinesOf(*w));
  w->top_index = std::clamp(index, 0, max_top);
}

void MemorySurface::SetCurSel(WindowHandle box, int index) {
  MemoryWindow* w = LiveBox(box);
  if (w == nullptr) return;
  const int count = static_cast<int>(w->lines.size());
  w->selection = (index >= 0 && index < count) ? index : -1;
}

int MemorySurface::GetItemHeight(WindowHandle box, int /*index*/) {
  return LiveBox(box) != nullptr ? kItemHeight : kListError;
}

void MemorySurface::Flash(WindowHandle window) {
  MemoryWindow* w = Live(window);
  if (w == nullptr) return;
  ++w->flashes;
}

// --- private -------------------------------------------------------------------------------

MemoryWindow* MemorySurface::Live(WindowHandle window) {
  if (window == kNoWindow || window > windows_.size()) return nullptr;
  MemoryWindow& w = windows_[window - 1];
  return w.alive ? &w : nullptr;
}

MemoryWindow* MemorySurface::LiveBox(WindowHandle box) {
  MemoryWindow* w = Live(box);
  return (w != nullptr && w->list_box) ? w : nullptr;
}

WindowHandle MemorySurface::NewWindow(MemoryWindow window) {
  window.handle = static_cast<WindowHandle>(windows_.size() + 1);
  windows_.push_back(std::move(window));
  return windows_.back().handle;
}

void MemorySurface::Destroy(MemoryWindow& window) {
  // Children go with their parent, as with real windows.
  const WindowHandle handle = window.handle;
  for (MemoryWindow& child : windows_) {
    if (child.alive && child.parent == handle) Destroy(child);
  }
  MemoryWindow& self = windows_[handle - 1];
  self.alive = false;
  if (handle == main_window_) timers_.clear();
  if (observer_) observer_->OnDestroyed(self);
}

int MemorySurface::VisibleLinesOf(const MemoryWindow& box) const {
  if (line_measure_ != nullptr) return std::max(line_measure_->LinesShown(box), 0);
  int client = Height(box.rect) - 2 * kFrame;
  if (box.style & kStyleCaption) client -= kCaptionHeight;
  if (box.style & kStyleHScroll) client -= kScrollBarSize;
  return client > 0 ? client / kItemHeight : 0;
}
