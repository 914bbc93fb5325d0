#include "frontend/terminal/message_box.h"

#include <curses.h>

#include <algorithm>
#include <utility>

#include "frontend/terminal/canvas.h"
#include "frontend/terminal/cell_text.h"

namespace {

// Texts of one cell a character.
constexpr wchar_t kWarningMark[] = L"! ";
constexpr int kMarkWidth = 2;
constexpr int kButtonGap = 2;
// Paragraphs are wrapped to at most this many cells, however wide the screen.
constexpr int kMaxTextCells = 64;
constexpr int kEscape = 27;

std::wstring ButtonText(const BoxButton& b) {
  return L"[ " + WideText(b.label) + L" ]";
}

int Lower(int key) {
  return key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key;
}

}  // namespace

MessageBoxView::MessageBoxView(std::string caption, std::vector<std::string> paragraphs,
                               bool warning, std::vector<BoxButton> buttons, int escape)
    : caption_(std::move(caption)),
      paragraphs_(std::move(paragraphs)),
      warning_(warning),
      buttons_(std::move(buttons)),
      escape_(escape) {}

void MessageBoxView::Draw(int columns, int rows) {
  const int mark = warning_ ? kMarkWidth : 0;
  const std::wstring caption = WideText(caption_);
  // The lines of the paragraphs, a blank line between two paragraphs.
  std::vector<std::wstring> lines;
  for (const std::string& paragraph : paragraphs_) {
    if (!lines.empty()) lines.emplace_back();
    for (std::wstring& line :
         WrapToCells(WideText(paragraph), std::clamp(columns - 8 - mark, 1, kMaxTextCells))) {
      lines.push_back(std::move(line));
    }
  }
  int text_width = 0;
  for (const std::wstring& line : lines) text_width = std::max(text_width, CellWidth(line));
  int buttons_width = 0;
  for (const BoxButton& b : buttons_) buttons_width += CellWidth(ButtonText(b)) + kButtonGap;
  buttons_width -= kButtonGap;
  const int inner = std::max({mark + text_width, CellWidth(caption), buttons_width}) + 4;
  // frame, blank, text, blank, buttons, frame
  const int height = static_cast<int>(lines.size()) + 5;
  const CellRect box = DrawCentredBox(caption, inner, height, columns, rows);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int row = box.top + 2 + static_cast<int>(i);
    if (warning_ && i == 0) {
      PutText(row, box.left + 3, std::wstring(kWarningMark), kMarkWidth, A_BOLD);
    }
    PutText(row, box.left + 3 + mark, lines[i], text_width);
  }
  const int row = box.bottom - 1;
  int left = box.left + 1 + (inner - buttons_width) / 2;
  drawn_.clear();
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    const std::wstring shown = ButtonText(buttons_[i]);
    const int width = CellWidth(shown);
    const bool focused = static_cast<int>(i) == focus_;
    PutText(row, left, shown, width, focused ? A_REVERSE : A_NORMAL);
    drawn_.push_back(CellRect{left, row, left + width - 1, row});
    left += width + kButtonGap;
  }
}

int MessageBoxView::ButtonAt(int row, int column) const {
  for (std::size_t i = 0; i < drawn_.size(); ++i) {
    const CellRect& r = drawn_[i];
    if (row == r.top && column >= r.left && column <= r.right) return static_cast<int>(i);
  }
  return -1;
}

int MessageBoxView::ButtonOfLetter(int key) const {
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    if (buttons_[i].letter == Lower(key)) return static_cast<int>(i);
  }
  return -1;
}

int MessageBoxView::Answer(const Input& in) {
  const int count = static_cast<int>(buttons_.size());
  if (in.kind == Input::kClick) return ButtonAt(in.row, in.column);
  if (IsEnter(in) || (in.kind == Input::kChar && in.key == ' ')) return focus_;
  if (in.kind == Input::kChar && in.key == kEscape) return escape_;
  if ((in.kind == Input::kChar && in.key == '\t') ||
      (in.kind == Input::kFunction && in.key == KEY_RIGHT)) {
    focus_ = (focus_ + 1) % count;
  } else if ((in.kind == Input::kFunction && (in.key == KEY_LEFT || in.key == KEY_BTAB))) {
    focus_ = (focus_ + count - 1) % count;
  } else if (in.kind == Input::kChar || in.kind == Input::kAlt) {
    return ButtonOfLetter(in.key);
  }
  return -1;
}

MessageBoxView MonitorMessageBox(const std::string& caption, const std::string& text, bool warning,
                                 const std::string& detail) {
  std::vector<std::string> paragraphs = {text};
  if (!detail.empty()) paragraphs.push_back(detail);
  return MessageBoxView(caption, paragraphs, warning, {BoxButton{"OK", 'o'}}, 0);
}
