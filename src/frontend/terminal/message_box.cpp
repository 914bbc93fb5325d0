#include "frontend/terminal/message_box.h"

#include <curses.h>

#include <algorithm>
#include <iterator>

#include "display/window_surface.h"
#include "frontend/terminal/canvas.h"
#include "frontend/terminal/cell_text.h"

namespace {

// Texts of one cell a character.
constexpr wchar_t kOk[] = L"[ OK ]";
constexpr int kOkWidth = static_cast<int>(std::size(kOk)) - 1;
constexpr wchar_t kWarningMark[] = L"! ";
constexpr int kMarkWidth = static_cast<int>(std::size(kWarningMark)) - 1;

}  // namespace

void MessageBoxView::Draw(int columns, int rows) {
  const bool warning = message_.type == kBoxExclamation;
  const int mark = warning ? kMarkWidth : 0;
  const std::wstring caption = WideText(message_.caption);
  const std::vector<std::wstring> lines =
      WrapToCells(WideText(message_.text), std::max(columns - 8 - mark, 1));
  int text_width = 0;
  for (const std::wstring& line : lines) text_width = std::max(text_width, CellWidth(line));
  const int inner = std::max({mark + text_width, CellWidth(caption), kOkWidth}) + 4;
  const int height = static_cast<int>(lines.size()) + 5;  // frame, blank, text, blank, OK, frame
  CellRect box;
  box.left = std::max((columns - inner - 2) / 2, 0);
  box.top = std::max((rows - height) / 2, 0);
  box.right = box.left + inner + 1;
  box.bottom = box.top + height - 1;
  ClearInside(box);
  DrawFrame(box, A_BOLD);
  PutText(box.top, box.left + 2, caption, inner - 2, A_BOLD);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int row = box.top + 2 + static_cast<int>(i);
    if (warning && i == 0)
      PutText(row, box.left + 3, std::wstring(kWarningMark), kMarkWidth, A_BOLD);
    PutText(row, box.left + 3 + mark, lines[i], text_width);
  }
  const int ok_row = box.bottom - 1;
  const int ok_left = box.left + 1 + (inner - kOkWidth) / 2;
  PutText(ok_row, ok_left, std::wstring(kOk), kOkWidth, A_REVERSE);
  ok_ = CellRect{ok_left, ok_row, ok_left + kOkWidth - 1, ok_row};
}

bool MessageBoxView::Answered(const Input& in) const {
  if (in.kind == Input::kClick) {
    return in.row == ok_.top && in.column >= ok_.left && in.column <= ok_.right;
  }
  if (in.kind == Input::kFunction) return in.key == KEY_ENTER;
  return in.kind == Input::kChar && (in.key == '\r' || in.key == '\n' || in.key == ' ' ||
                                     in.key == 27 || in.key == 'o' || in.key == 'O');
}
