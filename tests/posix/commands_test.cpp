// The settings command's fields and the wait command: what each takes, read into the changes
// for the dialog, and the words for each mistake.
#include "frontend/headless/commands.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The changes a command asks for, or its error.
std::string Read(const std::string& line) {
  Command c;
  std::string error;
  if (!ParseCommand(line, &c, &error)) return "error: " + error;
  const auto number = [](const std::optional<int>& v) { return v ? std::to_string(*v) : "-"; };
  if (c.kind == CommandKind::kWait) return "wait " + std::to_string(c.wait_ms);
  return "port " + number(c.changes.port) + " baud " + number(c.changes.baud_index) + " save " +
         number(c.changes.save) + " sensors " + c.changes.sensors.value_or("-");
}

TEST(Commands, SettingsFieldsAndWaitsAreReadOrRefusedInWords) {
  const std::pair<const char*, const char*> cases[] = {
      {"settings port=4 baud=38400 save=0 sensors=", "port 4 baud 2 save 0 sensors "},
      {"settings baud=09600 sensors=\" 12\"", "port - baud 0 save - sensors  12"},
      {"wait 86400000", "wait 86400000"},
      {"wait 86400001", "error: wait takes one number of milliseconds (0 to 86400000)"},
      {"wait -1", "error: wait takes one number of milliseconds (0 to 86400000)"},
      {"settings port=5", "error: port= takes 1, 2, 3 or 4"},
      {"settings port=1 port=x", "error: port= given twice"},
      {"settings baud=4800", "error: baud= takes 9600, 19200 or 38400"},
      {"settings save=2", "error: save= takes 0 or 1"},
      {"settings sensors=1 sensors=1", "error: sensors= given twice"},
      {"settings colour=red",
       "error: settings has no field \"colour\" (port, baud, save, sensors)"},
      {"settings port",
       "error: settings takes port=N baud=RATE save=0|1 sensors=TEXT, or cancel; not \"port\""},
  };
  for (const auto& [line, read] : cases) EXPECT_EQ(Read(line), read) << line;
}

}  // namespace
