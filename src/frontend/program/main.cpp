// wsmon: the monitor on Linux. `wsmon --headless` runs it without a screen, driven by commands
// on standard input and reporting every visible change on standard output.
#include <cstdio>
#include <cstring>
#include <string>

#include "frontend/headless/headless_main.h"
#include "frontend/program/options.h"
#include "frontend/program/standard_descriptors.h"
#include "settings/export_log.h"

namespace {

// Writes the export bytes of the lines on standard input to standard output.
int EncodeExportLines() {
  char line[4096];
  std::uint8_t out[sizeof line * 2];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    std::size_t len = std::strlen(line);
    if (len > 0 && line[len - 1] == '\n') --len;
    if (len > 0 && line[len - 1] == '\r') --len;
    const std::size_t n = EncodeExportLine(line, len, out, sizeof out);
    std::fwrite(out, 1, n, stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (!OpenClosedStandardDescriptors()) return 1;
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "wsmon: %s\n\n", error.c_str());
    PrintUsage(stderr);
    return 2;
  }
  if (options.help) {
    PrintUsage(stdout);
    return 0;
  }
  if (options.export_bytes) return EncodeExportLines();
  return RunHeadless(options);
}
