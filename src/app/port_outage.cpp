#include "app/port_outage.h"

#include "app/monitor_state.h"
#include "app/platform.h"
#include "display/counters.h"
#include "serial/link.h"

namespace {

PortEvent EventNow() {
  PortEvent event;
  event.tick = g_platform.clock->TickCount();
  event.time = g_platform.clock->Now();
  return event;
}

}  // namespace

void NotePortLost() {
  if (g_state.port_lost == 1) return;
  LogError(kErrPortRead, 0);
  ReleaseLink();
  g_state.port_lost = 1;
  const PortEvent event = EventNow();
  g_state.port_lost_tick = event.tick;
  if (g_platform.readings != nullptr) g_platform.readings->OnPortLost(event);
}

int PortAnswers() {
  if (g_state.port_lost == 0) return 1;
  if (ReopenLink() == 0) return 0;
  g_state.port_lost = 0;
  PortEvent event = EventNow();
  event.outage_ms = event.tick - g_state.port_lost_tick;
  if (g_platform.readings != nullptr) g_platform.readings->OnPortBack(event);
  return 1;
}
