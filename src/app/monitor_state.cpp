#include "app/monitor_state.h"

MonitorState g_state;

void ResetMonitorState() {
  g_state = MonitorState{};
}
