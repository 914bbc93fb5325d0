// The commands that drive the headless monitor, one per input line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class CommandKind {
  kNone,      // an empty line or a comment
  kMenu,      // open, close, start, stop, exit
  kSettings,  // settings: set the given controls of the dialog and confirm
  kCancelSettings,
  kWait,
  kStats,  // the ledger's figures now
};

// Controls of the settings dialog to change; what is left out keeps what the dialog shows.
struct DialogChanges {
  std::optional<int> port;             // 1 to 4
  std::optional<int> baud_index;       // 0 to 2
  std::optional<int> save;             // 0 or 1
  std::optional<std::string> sensors;  // the edit field's text, exactly
};

struct Command {
  CommandKind kind = CommandKind::kNone;
  int menu_command = 0;  // the menu item (also for settings)
  DialogChanges changes;
  std::uint32_t wait_ms = 0;
};

// Reads one input line. False with a message in *error for an unknown or malformed command.
bool ParseCommand(const std::string& line, Command* command, std::string* error);

// The menu command's name in commands and output (open, close, settings, start, stop, exit), or
// empty for an identifier that is no command.
const char* CommandName(int command);
