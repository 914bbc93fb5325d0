#include "frontend/headless/commands.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "cli/decimal.h"
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

// The fields of the settings command: the key, what its value is, the control it goes to and
// the words for an unfit value. A number is kept as typed, a baud rate as its index.
enum class FieldKind { kNumber, kBaudRate, kText };
struct SettingsField {
  const char* key;
  const char* form;  // in the message about a word that is no field
  FieldKind kind;
  int min, max;                               // kNumber
  std::optional<int> DialogChanges::*number;  // kNumber, kBaudRate; kText: the sensor count text
  const char* rule;
};
const SettingsField kSettingsFields[] = {
    {"port", "port=N", FieldKind::kNumber, 1, 4, &DialogChanges::port, "port= takes 1, 2, 3 or 4"},
    {"baud", "baud=RATE", FieldKind::kBaudRate, 0, 0, &DialogChanges::baud_index,
     "baud= takes 9600, 19200 or 38400"},
    {"save", "save=0|1", FieldKind::kNumber, 0, 1, &DialogChanges::save, "save= takes 0 or 1"},
    {"sensors", "sensors=TEXT", FieldKind::kText, 0, 0, nullptr, ""},
};

// The field's number for value: the number itself, or the index of the baud rate. False when
// value is none of them.
bool FieldNumber(const SettingsField& field, const std::string& value, int* number) {
  std::int64_t n = 0;
  if (field.kind == FieldKind::kNumber) {
    if (!ParseWholeNumber(value, field.min, field.max, &n)) return false;
    *number = static_cast<int>(n);
    return true;
  }
  if (!ParseWholeNumber(value, 0, BaudRates[kBaudRateCount - 1], &n)) return false;
  const auto* rate = std::find(std::begin(BaudRates), std::end(BaudRates), n);
  if (rate == std::end(BaudRates)) return false;
  *number = static_cast<int>(rate - std::begin(BaudRates));
  return true;
}

std::string FieldList(const char* SettingsField::*part, const char* separator) {
  std::string list;
  for (const SettingsField& field : kSettingsFields) {
    list += (list.empty() ? "" : separator) + std::string(field.*part);
  }
  return list;
}

bool ParseSettingsField(const std::string& word, DialogChanges* changes, std::string* error) {
  const std::size_t eq = word.find('=');
  if (eq == std::string::npos) {
    *error = "settings takes " + FieldList(&SettingsField::form, " ") + ", or cancel; not " +
             Quoted(word);
    return false;
  }
  const std::string key = word.substr(0, eq);
  const auto* field = std::find_if(std::begin(kSettingsFields), std::end(kSettingsFields),
                                   [&key](const SettingsField& f) { return key == f.key; });
  if (field == std::end(kSettingsFields)) {
    *error =
        "settings has no field " + Quoted(key) + " (" + FieldList(&SettingsField::key, ", ") + ")";
    return false;
  }
  const std::string value = word.substr(eq + 1);
  const bool given = field->kind == FieldKind::kText ? changes->sensors.has_value()
                                                     : (changes->*field->number).has_value();
  if (given) {
    *error = key + "= given twice";
    return false;
  }
  int number = 0;
  if (field->kind == FieldKind::kText) {
    changes->sensors = value;
  } else if (FieldNumber(*field, value, &number)) {
    changes->*field->number = number;
  } else {
    *error = field->rule;
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
    std::int64_t ms = 0;
    if (words.size() != 2 || !ParseWholeNumber(words[1], 0, kMaxWaitMs, &ms)) {
      *error = "wait takes one number of milliseconds (0 to 86400000)";
      return false;
    }
    command->wait_ms = static_cast<std::uint32_t>(ms);
    command->kind = CommandKind::kWait;
    return true;
  }
  if (name == "stats") {
    if (words.size() != 1) {
      *error = "stats takes no arguments";
      return false;
    }
    command->kind = CommandKind::kStats;
    return true;
  }
  const int menu = MenuCommandNamed(name);
  if (menu == 0) {
    *error = "unknown command " + Quoted(name) +
             " (open, close, settings, start, stop, exit, wait, stats)";
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
