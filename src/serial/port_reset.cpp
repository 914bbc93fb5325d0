#include <cstring>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "serial/link.h"

void ResetPort() {
  // A purge of a port that is not open would act on a stale or foreign handle.
  if (g_state.port_handle != kInvalidPort) g_platform.port->Purge(g_state.port_handle);
  std::memset(g_state.read_buffer, 0, sizeof g_state.read_buffer);
}
