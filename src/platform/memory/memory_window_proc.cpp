#include "platform/memory/memory_window_proc.h"

#include "app/main_window.h"
#include "app/menu_commands.h"
#include "app/poll_cycle.h"

void MonitorWindowProc(WindowHandle hwnd, MemoryMessage message, int param) {
  switch (message) {
    case MemoryMessage::kCreate:
      CreationSequence(hwnd);
      break;
    case MemoryMessage::kClose:
    case MemoryMessage::kDestroy:
      ShutdownSequence(hwnd);
      break;
    case MemoryMessage::kSize:
      ResizeSequence(hwnd);
      break;
    case MemoryMessage::kCommand:
      MenuCommand(hwnd, param);
      break;
    case MemoryMessage::kTimer:
      PollCycle(hwnd);
      break;
    case MemoryMessage::kPaint:
      break;
  }
}
