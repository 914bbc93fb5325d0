#include "cli/option_table.h"

#include <cstring>

namespace {

// The row whose option argument names, and whether the value is part of it ("--name=VALUE").
const OptionRow* RowFor(const char* argument, const std::vector<OptionRow>& rows,
                        bool* value_joined) {
  for (const OptionRow& row : rows) {
    if (row.name == nullptr) continue;
    if (row.flag) {
      if (std::strcmp(argument, row.name) == 0 ||
          (row.alias != nullptr && std::strcmp(argument, row.alias) == 0)) {
        return &row;
      }
      continue;
    }
    const std::size_t length = std::strlen(row.name);
    if (std::strncmp(argument, row.name, length) != 0) continue;
    // "--sim" is not "--simulate", nor "--com" "--compact".
    if (argument[length] == '\0' || argument[length] == '=') {
      *value_joined = argument[length] == '=';
      return &row;
    }
  }
  return nullptr;
}

// Whether a row with the same exclusive text as row came before; notes row's text otherwise.
bool ExcludedBefore(const OptionRow& row, std::vector<const char*>* seen) {
  if (row.exclusive == nullptr) return false;
  for (const char* text : *seen) {
    if (std::strcmp(text, row.exclusive) == 0) return true;
  }
  seen->push_back(row.exclusive);
  return false;
}

std::string UnknownOption(const std::string& argument) {
  return "unknown or incomplete option \"" + argument + "\"";
}

std::string UnfitValue(const std::string& name, const std::string& value, const char* expected) {
  return name + ": \"" + value + "\" is not " + expected;
}

}  // namespace

const OptionWords kMonitorOptionWords = {UnknownOption, UnknownOption, UnfitValue};

bool ParseByTable(int argc, char* const* argv, const std::vector<OptionRow>& rows,
                  const OptionWords& words, std::string* error) {
  std::vector<const char*> exclusive_seen;
  for (int i = 1; i < argc; ++i) {
    bool joined = false;
    const OptionRow* row = RowFor(argv[i], rows, &joined);
    if (row == nullptr) {
      *error = words.unknown(argv[i]);
      return false;
    }
    if (ExcludedBefore(*row, &exclusive_seen)) {
      *error = row->exclusive;
      return false;
    }
    if (row->flag) {
      row->flag();
      continue;
    }
    const bool next_is_value = i + 1 < argc && (!row->optional_value || argv[i + 1][0] != '-' ||
                                                std::strcmp(argv[i + 1], "-") == 0);
    if (!joined && !next_is_value && !row->optional_value) {
      *error = row->missing != nullptr ? row->missing : words.missing(row->name);
      return false;
    }
    std::string value;
    if (joined) {
      value = argv[i] + std::strlen(row->name) + 1;
    } else if (next_is_value) {
      value = argv[++i];
    }
    error->clear();
    if (!row->take(value, error)) {
      if (error->empty()) *error = words.unfit(row->name, value, row->expected);
      return false;
    }
  }
  return true;
}

std::string TableHelp(const std::vector<OptionRow>& rows) {
  std::string help;
  for (const OptionRow& row : rows) help += row.help;
  return help;
}

OptionRow Heading(const char* help) {
  OptionRow row;
  row.help = help;
  return row;
}

OptionRow Flag(const char* name, bool* field, bool value) {
  OptionRow row;
  row.name = name;
  row.flag = [field, value] { *field = value; };
  return row;
}

OptionRow Custom(const char* name, OptionValueTaker take, const char* expected) {
  OptionRow row;
  row.name = name;
  row.take = std::move(take);
  row.expected = expected;
  return row;
}

OptionRow Text(const char* name, std::string* field) {
  return Custom(name, [field](const std::string& value, std::string*) {
    *field = value;
    return true;
  });
}

OptionRow NonEmptyText(const char* name, std::string* field, const char* expected) {
  return Custom(
      name,
      [field](const std::string& value, std::string*) {
        *field = value;
        return !value.empty();
      },
      expected);
}

OptionRow Texts(const char* name, std::vector<std::string>* field) {
  return Custom(name, [field](const std::string& value, std::string*) {
    field->push_back(value);
    return true;
  });
}

OptionRow Share(const char* name, double* field, const char* expected) {
  return Custom(
      name, [field](const std::string& value, std::string*) { return ParseShare(value, field); },
      expected);
}

OptionRow Whole(const char* name, std::uint64_t* field, std::uint64_t max, const char* expected) {
  return Custom(
      name,
      [field, max](const std::string& value, std::string*) {
        return ParseWholeNumber(value, max, field);
      },
      expected);
}
