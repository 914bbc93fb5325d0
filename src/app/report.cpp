#include "app/report.h"

#include "app/platform.h"

void ReportLine(const std::string& text) {
  if (g_platform.report != nullptr) g_platform.report->Report(text);
}
