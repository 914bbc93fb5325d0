#include "platform/memory/memory_dialog.h"

#include <cstdint>

#include "app/resource_ids.h"

namespace {

const std::string kEmpty;

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
  auto it = controls_.find(control_id);
  if (it == controls_.end() || it->second.kind == Kind::kEdit) return false;
  Control& clicked = it->second;
  if (clicked.kind == Kind::kCheckBox) {
    clicked.check = clicked.check == 1 ? 0 : 1;
    return true;
  }
  for (auto& entry : controls_) {
    Control& c = entry.second;
    if (c.kind == Kind::kRadio && c.group == clicked.group) c.check = 0;
  }
  clicked.check = 1;
  return true;
}

bool MemoryDialog::Type(int control_id, const std::string& text) {
  auto it = controls_.find(control_id);
  if (it == controls_.end() || it->second.kind != Kind::kEdit) return false;
  it->second.text = text;
  return true;
}

const std::string& MemoryDialog::Text(int control_id) const {
  auto it = controls_.find(control_id);
  return it == controls_.end() ? kEmpty : it->second.text;
}

void MemoryDialog::SetCheck(int control_id, int state) {
  auto it = controls_.find(control_id);
  if (it != controls_.end() && it->second.kind != Kind::kEdit) it->second.check = state;
}

int MemoryDialog::GetCheck(int control_id) {
  auto it = controls_.find(control_id);
  return (it != controls_.end() && it->second.kind != Kind::kEdit) ? it->second.check : 0;
}

void MemoryDialog::SetItemUInt(int control_id, unsigned value) {
  auto it = controls_.find(control_id);
  if (it != controls_.end() && it->second.kind == Kind::kEdit) {
    it->second.text = std::to_string(value);
  }
}

unsigned MemoryDialog::GetItemUInt(int control_id) {
  auto it = controls_.find(control_id);
  if (it == controls_.end() || it->second.kind != Kind::kEdit) return 0;
  return TranslateUInt(it->second.text);
}

unsigned MemoryDialog::TranslateUInt(const std::string& text) {
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
