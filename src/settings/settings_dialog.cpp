#include "settings/settings_dialog.h"

#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "display/panel_layout.h"

namespace {

constexpr int kMinSensors = 1;

}  // namespace

void InitSettingsDialog(DialogControls& dialog) {
  // A port or baud index from outside the offered range checks no button. The guard matters:
  // 199 + port_number would otherwise reach the baud buttons (ports 11 to 13) or the save box.
  if (g_state.port_number >= 1 && g_state.port_number <= kPortButtonCount) {
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
  const int port_button = CheckedButton(dialog, IDC_COM1, kPortButtonCount);
  if (port_button >= 0) g_state.port_number = port_button + 1;
  const int baud_button = CheckedButton(dialog, IDC_BAUD_9600, kBaudRateCount);
  if (baud_button >= 0) g_state.baud_index = baud_button;
  g_state.save_log = dialog.GetCheck(IDC_SAVE_LOG) == 1 ? 1 : 0;

  // An unreadable or zero count becomes 1, anything above 32 becomes 32 (compared unsigned).
  const unsigned v = dialog.GetItemUInt(IDC_SENSOR_COUNT);
  if (v < kMinSensors) {
    g_state.sensor_count = kMinSensors;
  } else if (v > kMaxSensorCount) {
    g_state.sensor_count = kMaxSensorCount;
  } else {
    g_state.sensor_count = static_cast<int>(v);
  }
  g_state.panel_count = PanelCountFor(g_state.sensor_count);
}

int CheckedButton(DialogControls& dialog, int first_id, int count) {
  for (int k = 0; k < count; ++k) {
    if (dialog.GetCheck(first_id + k) == 1) return k;
  }
  return -1;
}
