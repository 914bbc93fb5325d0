// wsmon: the monitor on Linux. On a terminal it is the interactive monitor; `wsmon --headless`
// runs it without a screen, driven by commands on standard input and reporting every visible
// change on standard output.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/program_version.h"
#include "frontend/headless/headless_main.h"
#include "frontend/program/list_ports.h"
#include "frontend/program/options.h"
#include "frontend/program/recover_main.h"
#include "frontend/program/standard_descriptors.h"
#include "frontend/terminal/terminal_main.h"
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
  if (options.version) {
    std::printf("wsmon %s\n", kProgramVersion);
    return 0;
  }
  if (options.export_bytes) return EncodeExportLines();
  if (options.list_ports) return ListPorts(options.ports, SystemRoots{}, stdout);
  if (options.recover) return RunRecover(options.recover_dir);
  if (options.headless || options.run) return RunHeadless(options);
  if (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0) {
    std::fprintf(stderr,
                 "wsmon: the interactive monitor needs a terminal on standard input and output; "
                 "say --headless to drive it by commands (wsmon --help)\n");
    return 2;
  }
  return RunTerminal(options);
}
