#include "frontend/terminal/settings_form.h"

#include <curses.h>

#include <algorithm>
#include <iterator>

#include "app/resource_ids.h"
#include "app/texts.h"
#include "frontend/terminal/canvas.h"
#include "frontend/terminal/cell_text.h"
#include "settings/settings_dialog.h"

namespace {

// Places of the dialog's controls, in dialog units.
struct Place {
  int x, y, width, height;
};
constexpr Place kDialog = {0, 0, 189, 115};
constexpr Place kPortGroup = {8, 6, 48, 71};
constexpr Place kBaudGroup = {63, 6, 48, 71};
constexpr Place kPortButtons[kPortButtonCount] = {
    {16, 19, 35, 10}, {16, 33, 35, 10}, {16, 46, 35, 10}, {16, 60, 35, 10}};
constexpr Place kBaudButtons[kBaudRateCount] = {
    {71, 19, 34, 10}, {71, 32, 34, 10}, {71, 45, 34, 10}};
constexpr Place kSaveBox = {118, 13, 60, 10};
constexpr Place kCountField = {61, 86, 17, 14};
constexpr Place kCountLabel = {10, 89, 43, 8};
constexpr Place kRangeLabel = {86, 89, 20, 8};
constexpr Place kConfirm = {132, 67, 50, 17};
constexpr Place kExit = {132, 91, 50, 17};

constexpr wchar_t kCloseBox[] = L"[x]";
constexpr int kCloseBoxWidth = static_cast<int>(std::size(kCloseBox)) - 1;

// Dialog units to cells, halves rounded up.
int Column(int x) {
  return (x + 2) / 4;
}
int Row(int y) {
  return (y + 4) / 8;
}

const char* PortText(int i) {
  static const char* const kTexts[kPortButtonCount] = {"COM1", "COM2", "COM3", "COM4"};
  return kTexts[i];
}

}  // namespace

SettingsForm::SettingsForm(MemoryDialog* dialog) : dialog_(dialog) {
  port_ = std::max(CheckedButton(*dialog, IDC_COM1, kPortButtonCount), 0);
  baud_ = std::max(CheckedButton(*dialog, IDC_BAUD_9600, kBaudRateCount), 0);
  field_ = dialog->Text(IDC_SENSOR_COUNT);
  cursor_ = field_.size();
}

void SettingsForm::Draw(int columns, int rows) {
  const int inner_width = Column(kDialog.width);
  const int inner_height = Row(kDialog.height);
  left_ = std::max((columns - inner_width - 2) / 2, 0);
  top_ = std::max((rows - inner_height - 2) / 2, 0);
  const CellRect frame{left_, top_, left_ + inner_width + 1, top_ + inner_height + 1};
  ClearInside(frame);
  DrawFrame(frame, A_BOLD);
  PutText(top_, left_ + 2, std::string(text::kDialogCaption), inner_width - 6, A_BOLD);
  PutText(top_, frame.right - kCloseBoxWidth, std::wstring(kCloseBox), kCloseBoxWidth);

  // Positions inside the frame.
  const int x0 = left_ + 1;
  const int y0 = top_ + 1;
  auto put = [&](const Place& p, const std::string& label, attr_t attributes) {
    PutText(y0 + Row(p.y), x0 + Column(p.x), label, inner_width - Column(p.x), attributes);
  };
  auto group = [&](const Place& p, const char* caption) {
    DrawFrame(CellRect{x0 + Column(p.x), y0 + Row(p.y), x0 + Column(p.x + p.width),
                       y0 + Row(p.y + p.height)});
    put(Place{p.x + 4, p.y, 0, 0}, caption, A_NORMAL);
  };
  group(kPortGroup, text::kDialogPortGroup);
  group(kBaudGroup, text::kDialogBaudGroup);
  for (int i = 0; i < kPortButtonCount; ++i) {
    const bool checked = dialog_->GetCheck(IDC_COM1 + i) == 1;
    put(kPortButtons[i], std::string(checked ? "(*) " : "( ) ") + PortText(i),
        focus_ == kPorts && i == port_ ? A_REVERSE : A_NORMAL);
  }
  for (int i = 0; i < kBaudRateCount; ++i) {
    const bool checked = dialog_->GetCheck(IDC_BAUD_9600 + i) == 1;
    put(kBaudButtons[i], std::string(checked ? "(*) " : "( ) ") + std::to_string(BaudRates[i]),
        focus_ == kBauds && i == baud_ ? A_REVERSE : A_NORMAL);
  }
  put(kSaveBox,
      std::string(dialog_->GetCheck(IDC_SAVE_LOG) == 1 ? "[x] " : "[ ] ") + text::kDialogSaveLog,
      focus_ == kSave ? A_REVERSE : A_NORMAL);
  put(kCountLabel, text::kDialogSensorCount, A_NORMAL);
  put(kRangeLabel, text::kDialogSensorRange, A_NORMAL);

  DrawCountField(x0, y0);

  auto button = [&](const Place& p, const char* label, bool focused, attr_t extra) {
    const std::wstring shown = L"[ " + WideText(label) + L" ]";
    PutCentred(y0 + Row(p.y), x0 + Column(p.x), Column(p.width), shown,
               (focused ? A_REVERSE : A_NORMAL) | extra);
  };
  button(kConfirm, text::kDialogConfirm, focus_ == kConfirmButton, A_BOLD);  // the default
  button(kExit, text::kDialogExit, focus_ == kExitButton, A_NORMAL);
}

void SettingsForm::DrawCountField(int x0, int y0) const {
  const int field_width = Column(kCountField.width);
  const int field_x = x0 + Column(kCountField.x);
  const int field_y = y0 + Row(kCountField.y);
  const std::size_t first = cursor_ >= static_cast<std::size_t>(field_width)
                                ? cursor_ - static_cast<std::size_t>(field_width) + 1
                                : 0;
  FillRow(field_y, field_x, field_width, A_UNDERLINE);
  for (int i = 0; i < field_width && first + static_cast<std::size_t>(i) <= field_.size(); ++i) {
    const std::size_t at = first + static_cast<std::size_t>(i);
    const bool reversed =
        focus_ == kCount && (field_selected_ ? at < field_.size() : at == cursor_);
    const std::string cell = at < field_.size() ? field_.substr(at, 1) : " ";
    PutText(field_y, field_x + i, cell, 1, reversed ? A_REVERSE : A_UNDERLINE);
  }
}

SettingsForm::Outcome SettingsForm::Handle(const Input& in) {
  if (in.kind == Input::kClick) return Click(in.row, in.column);
  const bool on_button = focus_ == kConfirmButton || focus_ == kExitButton;
  if (IsEnter(in) || (on_button && in.kind == Input::kChar && in.key == ' ')) {
    return focus_ == kExitButton ? Outcome::kExit : Outcome::kConfirm;
  }
  if (in.kind == Input::kChar && in.key == '\t') {
    MoveFocus((focus_ + 1) % kFocusCount);
  } else if (in.kind == Input::kFunction && in.key == KEY_BTAB) {
    MoveFocus((focus_ + kFocusCount - 1) % kFocusCount);
  } else if (focus_ == kCount) {
    Edit(in);
  } else if (in.kind == Input::kFunction && (focus_ == kPorts || focus_ == kBauds)) {
    if (in.key == KEY_UP || in.key == KEY_LEFT) MoveInGroup(-1);
    if (in.key == KEY_DOWN || in.key == KEY_RIGHT) MoveInGroup(1);
  } else if (in.kind == Input::kChar && in.key == ' ') {
    Press();
  }
  return Outcome::kOpen;
}

void SettingsForm::Press() {
  if (focus_ == kPorts) dialog_->Click(IDC_COM1 + port_);
  if (focus_ == kBauds) dialog_->Click(IDC_BAUD_9600 + baud_);
  if (focus_ == kSave) dialog_->Click(IDC_SAVE_LOG);
}

void SettingsForm::MoveFocus(int to) {
  focus_ = to;
  if (focus_ == kCount) {
    field_selected_ = !field_.empty();
    cursor_ = field_.size();
  }
}

void SettingsForm::MoveInGroup(int step) {
  if (focus_ == kPorts) {
    port_ = (port_ + step + kPortButtonCount) % kPortButtonCount;
    dialog_->Click(IDC_COM1 + port_);
  } else {
    baud_ = (baud_ + step + kBaudRateCount) % kBaudRateCount;
    dialog_->Click(IDC_BAUD_9600 + baud_);
  }
}

void SettingsForm::Edit(const Input& in) {
  const bool function = in.kind == Input::kFunction;
  const bool erase_back = (function && in.key == KEY_BACKSPACE) ||
                          (in.kind == Input::kChar && (in.key == 127 || in.key == 8));
  const bool erase_here = function && in.key == KEY_DC;
  if (field_selected_ &&
      (erase_back || erase_here || (in.kind == Input::kChar && in.key >= 0x20 && in.key < 0x7F))) {
    field_.clear();
    cursor_ = 0;
    field_selected_ = false;
    if (erase_back || erase_here) {
      dialog_->Type(IDC_SENSOR_COUNT, field_);
      return;
    }
  }
  field_selected_ = false;
  if (in.kind == Input::kChar && in.key >= 0x20 && in.key < 0x7F) {
    field_.insert(cursor_++, 1, static_cast<char>(in.key));
  } else if (erase_back) {
    if (cursor_ > 0) field_.erase(--cursor_, 1);
  } else if (erase_here) {
    if (cursor_ < field_.size()) field_.erase(cursor_, 1);
  } else if (function) {
    MoveCursor(in.key);
  }
  dialog_->Type(IDC_SENSOR_COUNT, field_);
}

void SettingsForm::MoveCursor(int key) {
  if (key == KEY_LEFT && cursor_ > 0) {
    --cursor_;
  } else if (key == KEY_RIGHT && cursor_ < field_.size()) {
    ++cursor_;
  } else if (key == KEY_HOME) {
    cursor_ = 0;
  } else if (key == KEY_END) {
    cursor_ = field_.size();
  }
}

SettingsForm::Outcome SettingsForm::Click(int row, int column) {
  const int inner_width = Column(kDialog.width);
  if (row == top_ && column >= left_ + inner_width + 1 - kCloseBoxWidth &&
      column <= left_ + inner_width) {
    return Outcome::kExit;  // the close box
  }
  auto hit = [&](const Place& p) {
    const int x = left_ + 1 + Column(p.x);
    return row == top_ + 1 + Row(p.y) && column >= x && column < x + Column(p.width);
  };
  for (int i = 0; i < kPortButtonCount; ++i) {
    if (hit(kPortButtons[i])) {
      focus_ = kPorts;
      port_ = i;
      dialog_->Click(IDC_COM1 + i);
    }
  }
  for (int i = 0; i < kBaudRateCount; ++i) {
    if (hit(kBaudButtons[i])) {
      focus_ = kBauds;
      baud_ = i;
      dialog_->Click(IDC_BAUD_9600 + i);
    }
  }
  if (hit(kSaveBox)) {
    focus_ = kSave;
    dialog_->Click(IDC_SAVE_LOG);
  }
  if (hit(kCountField) && focus_ != kCount) MoveFocus(kCount);
  if (hit(kConfirm)) return Outcome::kConfirm;
  if (hit(kExit)) return Outcome::kExit;
  return Outcome::kOpen;
}
