#include "platform/memory/memory_dialog.h"

#include <cstdint>

#include "app/resource_ids.h"

namespace {

const std::string kEmpty;

// The translation of an edit field's text into an unsigned number: leading and trailing blanks
// are allowed around the decimal digits; anything else, no digits at all, or a value beyond 32
// bits gives 0.
unsigned TranslateUInt(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  const std::size_t first_digit = i;
  std::uint64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
    if (value > UINT32_MAX) return 0;
    ++i;
  }
  if (i == first_digit) return 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i != text.size()) return 0;
  return static_cast<unsigned>(value);
}

}  // namespace

MemoryDialog::MemoryDialog() {
  // The port buttons form one group and the baud buttons another, as the group boxes divide
  // them in the dialog.
  for (int id = IDC_COM1; id <= IDC_COM4; ++id) controls_[id] = Control{Kind::kRadio, 1, 0, {}};
  for (int id = IDC_BAUD_9600; id <= IDC_BAUD_38400; ++id) {
    controls_[id] = Control{Kind::kRadio, 2, 0, {}};
  }
  controls_[IDC_SAVE_LOG] = Control{Kind::kCheckBox, 3, 0, {}};
  controls_[IDC_SENSOR_COUNT] = Control{Kind::kEdit, 4, 0, {}};
}

bool MemoryDialog::Click(int control_id) {
  Control* clicked = Find(control_id, false);
  if (clicked == nullptr) return false;
  if (clicked->kind == Kind::kCheckBox) {
    clicked->check = clicked->check == 1 ? 0 : 1;
    return true;
  }
  for (auto& entry : controls_) {
    Control& c = entry.second;
    if (c.kind == Kind::kRadio && c.group == clicked->group) c.check = 0;
  }
  clicked->check = 1;
  return true;
}

bool MemoryDialog::Type(int control_id, const std::string& text) {
  Control* field = Find(control_id, true);
  if (field == nullptr) return false;
  field->text = text;
  return true;
}

const std::string& MemoryDialog::Text(int control_id) const {
  auto it = controls_.find(control_id);
  return it == controls_.end() ? kEmpty : it->second.text;
}

void MemoryDialog::SetCheck(int control_id, int state) {
  if (Control* button = Find(control_id, false)) button->check = state;
}

int MemoryDialog::GetCheck(int control_id) {
  const Control* button = Find(control_id, false);
  return button != nullptr ? button->check : 0;
}

void MemoryDialog::SetItemUInt(int control_id, unsigned value) {
  if (Control* field = Find(control_id, true)) field->text = std::to_string(value);
}

unsigned MemoryDialog::GetItemUInt(int control_id) {
  const Control* field = Find(control_id, true);
  return field != nullptr ? TranslateUInt(field->text) : 0;
}

MemoryDialog::Control* MemoryDialog::Find(int control_id, bool edit_field) {
  auto it = controls_.find(control_id);
  if (it == controls_.end() || (it->second.kind == Kind::kEdit) != edit_field) return nullptr;
  return &it->second;
}
