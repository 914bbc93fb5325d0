#include "frontend/headless/commands.h"

#include <vector>

#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "frontend/headless/escaping.h"

namespace {

// A day is far longer than any sensible wait, and keeps the sum with a tick count small.
constexpr std::uint32_t kMaxWaitMs = 86400000;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Splits a line into words at blanks. A value after "=" may be put in double quotes to hold
// blanks (or nothing): sensors=" 12" (no escapes inside).
bool SplitWords(const std::string& line, std::vector<std::string>* words, std::string* error) {
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) return true;
    std::string word;
    while (i < line.size() && !IsBlank(line[i])) {
      if (line[i] == '"' && !word.empty() && word.back() == '=') {
        const std::size_t close = line.find('"', i + 1);
        if (close == std::string::npos) {
          *error = "a quoted value has no closing \"";
          return false;
        }
        word += line.substr(i + 1, close - i - 1);
        i = close + 1;
        if (i < line.size() && !IsBlank(line[i])) {
          *error = "a quoted value must end its word";
          return false;
        }
      } else {
        word += line[i++];
      }
    }
    words->push_back(word);
  }
}

// A decimal number of digits only, at most max.
bool ParseNumber(const std::string& text, std::uint32_t max, std::uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v > max) return false;
  *value = static_cast<std::uint32_t>(v);
  return true;
}

bool ParseSettingsField(const std::string& word, DialogChanges* changes, std::string* error) {
  const std::size_t eq = word.find('=');
  if (eq == std::string::npos) {
    *error =
        "settings takes port=N baud=RATE save=0|1 sensors=TEXT, or cancel; not " + Quoted(word);
    return false;
  }
  const std::string key = word.substr(0, eq);
  const std::string value = word.substr(eq + 1);
  std::uint32_t n = 0;
  if (key == "port") {
    if (changes->port || !ParseNumber(value, 4, &n) || n < 1) {
      *error = changes->port ? "port= given twice" : "port= takes 1, 2, 3 or 4";
      return false;
    }
    changes->port = static_cast<int>(n);
  } else if (key == "baud") {
    int index = -1;
    for (int k = 0; k < kBaudRateCount; ++k) {
      if (value == std::to_string(BaudRates[k])) index = k;
    }
    if (changes->baud_index || index < 0) {
      *error = changes->baud_index ? "baud= given twice" : "baud= takes 9600, 19200 or 38400";
      return false;
    }
    changes->baud_index = index;
  } else if (key == "save") {
    if (changes->save || (value != "0" && value != "1")) {
      *error = changes->save ? "save= given twice" : "save= takes 0 or 1";
      return false;
    }
    changes->save = value == "1" ? 1 : 0;
  } else if (key == "sensors") {
    if (changes->sensors) {
      *error = "sensors= given twice";
      return false;
    }
    changes->sensors = value;
  } else {
    *error = "settings has no field " + Quoted(key) + " (port, baud, save, sensors)";
    return false;
  }
  return true;
}

// The menu commands by the names that the input and the output give them.
const struct {
  int id;
  const char* name;
} kMenuCommands[] = {{CMD_OPEN, "open"},   {CMD_CLOSE, "close"}, {CMD_SETTINGS, "settings"},
                     {CMD_START, "start"}, {CMD_STOP, "stop"},   {CMD_EXIT, "exit"}};

int MenuCommandNamed(const std::string& name) {
  for (const auto& c : kMenuCommands) {
    if (name == c.name) return c.id;
  }
  return 0;
}

}  // namespace

bool ParseCommand(const std::string& line, Command* command, std::string* error) {
  *command = Command{};
  std::vector<std::string> words;
  if (!SplitWords(line, &words, error)) return false;
  if (words.empty() || words[0][0] == '#') return true;  // nothing to do

  const std::string& name = words[0];
  if (name == "wait") {
    if (words.size() != 2 || !ParseNumber(words[1], kMaxWaitMs, &command->wait_ms)) {
      *error = "wait takes one number of milliseconds (0 to 86400000)";
      return false;
    }
    command->kind = CommandKind::kWait;
    return true;
  }
  const int menu = MenuCommandNamed(name);
  if (menu == 0) {
    *error =
        "unknown command " + Quoted(name) + " (open, close, settings, start, stop, exit, wait)";
    return false;
  }
  command->menu_command = menu;
  if (menu == CMD_SETTINGS) {
    // Without fields the dialog is confirmed as it was shown.
    if (words.size() > 1 && words[1] == "cancel") {
      if (words.size() != 2) {
        *error = "settings cancel takes nothing more";
        return false;
      }
      command->kind = CommandKind::kCancelSettings;
      return true;
    }
    for (std::size_t i = 1; i < words.size(); ++i) {
      if (!ParseSettingsField(words[i], &command->changes, error)) return false;
    }
    command->kind = CommandKind::kSettings;
    return true;
  }
  if (words.size() != 1) {
    *error = name + " takes no arguments";
    return false;
  }
  command->kind = CommandKind::kMenu;
  return true;
}

const char* CommandName(int command) {
  for (const auto& c : kMenuCommands) {
    if (command == c.id) return c.name;
  }
  return "";
}
