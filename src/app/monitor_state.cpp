#include "app/monitor_state.h"

#include "journal/run_journal.h"

MonitorState g_state;

void ResetMonitorState() {
  // A run's journal belongs to the run that the reset forgets: it is let go of as it stands.
  AbandonRunJournal();
  g_state = MonitorState{};
}
