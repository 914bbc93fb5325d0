#include "display/box_lines.h"

#include <climits>

#include "app/platform.h"

int ReplaceLine(WindowHandle box, const char* line) {
  g_platform.window->ResetContent(box);
  return g_platform.window->AddString(box, line);
}

void ScrollToNewest(WindowHandle box, int visible_lines) {
  const int count = g_platform.window->GetCount(box);
  if (count < visible_lines) return;
  const long long top = static_cast<long long>(count) - visible_lines + 2;
  g_platform.window->SetTopIndex(box, top > INT_MAX ? INT_MAX : static_cast<int>(top));
}
