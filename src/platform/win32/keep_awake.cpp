#include "platform/win32/keep_awake.h"

#include "platform/win32/windows_api.h"

void KeepAwake::OnRunStarted() {
  // The state belongs to the thread that sets it: the monitor's, which every run event is on.
  holding_ = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
}

void KeepAwake::Release() {
  if (holding_) SetThreadExecutionState(ES_CONTINUOUS);
  holding_ = false;
}
