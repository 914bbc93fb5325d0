#include "settings/settings_dialog.h"

#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "display/panel_layout.h"

namespace {

constexpr int kPortButtons = 4;
constexpr int kMinSensors = 1;
constexpr int kMaxSensors = 32;

}  // namespace

void InitSettingsDialog(DialogControls& dialog) {
  // A port or baud index from outside the offered range checks no button. The guard matters:
  // 199 + port_number would otherwise reach the baud buttons (ports 11 to 13) or the save box.
  if (g_state.port_number >= 1 && g_state.port_number <= kPortButtons) {
    dialog.SetCheck(IDC_COM1 - 1 + g_state.port_number, 1);
  }
  if (g_state.baud_index >= 0 && g_state.baud_index < kBaudRateCount) {
    dialog.SetCheck(IDC_BAUD_9600 + g_state.baud_index, 1);
  }
  dialog.SetCheck(IDC_SAVE_LOG, g_state.save_log == 1 ? 1 : 0);
  dialog.SetItemUInt(IDC_SENSOR_COUNT, static_cast<unsigned>(g_state.sensor_count));
}

void ApplySettingsDialog(DialogControls& dialog) {
  // An unchecked group keeps its setting.
  for (int k = 0; k < kPortButtons; ++k) {
    if (dialog.GetCheck(IDC_COM1 + k) == 1) {
      g_state.port_number = k + 1;
      break;
    }
  }
  for (int k = 0; k < kBaudRateCount; ++k) {
    if (dialog.GetCheck(IDC_BAUD_9600 + k) == 1) {
      g_state.baud_index = k;
      break;
    }
  }
  g_state.save_log = dialog.GetCheck(IDC_SAVE_LOG) == 1 ? 1 : 0;

  // An unreadable or zero count becomes 1, anything above 32 becomes 32 (compared unsigned).
  const unsigned v = dialog.GetItemUInt(IDC_SENSOR_COUNT);
  if (v < kMinSensors) {
    g_state.sensor_count = kMinSensors;
  } else if (v > kMaxSensors) {
    g_state.sensor_count = kMaxSensors;
  } else {
    g_state.sensor_count = static_cast<int>(v);
  }
  g_state.panel_count = PanelCountFor(g_state.sensor_count);
}
