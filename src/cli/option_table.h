// Command lines read by a table of options. Each row is one option: its name, what it takes, the
// field its value goes to, the words for an unfit value and its lines of the --help text, so
// that a new option is a row and its field. An option with a value takes it as "--name VALUE"
// or "--name=VALUE"; a flag stands alone. An option whose value may be left out takes the next
// word only when it is no option (it does not begin with "-", or it is "-" alone), and an
// empty value when it is left out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/decimal.h"

// Takes an option's value into its field. False when the value is unfit: with a message in
// *error, or with *error left empty for the table's own words about it.
using OptionValueTaker = std::function<bool(const std::string& value, std::string* error)>;

struct OptionRow {
  const char* name = nullptr;       // nullptr: a heading of the help text, no option
  std::function<void()> flag;       // what a flag does
  OptionValueTaker take;            // what an option with a value does with it
  const char* expected = "";        // what the value must be: "a rate from 0 to 1"
  const char* help = "";            // its lines of the --help text, each ended by a line end
  const char* alias = nullptr;      // a second name of a flag ("-h")
  const char* missing = nullptr;    // the message for a missing value, instead of the table's
  const char* exclusive = nullptr;  // the message for a second row with this text, or this again
  bool optional_value = false;      // the value may be left out

  OptionRow& Help(const char* text) {
    help = text;
    return *this;
  }
  OptionRow& Alias(const char* other) {
    alias = other;
    return *this;
  }
  OptionRow& Missing(const char* message) {
    missing = message;
    return *this;
  }
  OptionRow& Exclusive(const char* message) {
    exclusive = message;
    return *this;
  }
  OptionRow& OptionalValue() {
    optional_value = true;
    return *this;
  }
};

// How a program words its complaints about a command line.
struct OptionWords {
  std::string (*unknown)(const std::string& argument);
  std::string (*missing)(const std::string& name);
  std::string (*unfit)(const std::string& name, const std::string& value, const char* expected);
};

// The monitor's programs' words: unknown or incomplete option "--x"; --x: "v" is not EXPECTED.
extern const OptionWords kMonitorOptionWords;

// Reads argv[1] to argv[argc - 1] by the rows, in order; the first mistake ends it with false and
// a message for the user in *error.
bool ParseByTable(int argc, char* const* argv, const std::vector<OptionRow>& rows,
                  const OptionWords& words, std::string* error);

// The help lines of the rows, headings included, in table order.
std::string TableHelp(const std::vector<OptionRow>& rows);

// Rows of the common kinds.
OptionRow Heading(const char* help);
OptionRow Flag(const char* name, bool* field, bool value = true);
OptionRow Text(const char* name, std::string* field);
OptionRow NonEmptyText(const char* name, std::string* field, const char* expected);
OptionRow Texts(const char* name, std::vector<std::string>* field);  // repeatable
OptionRow Share(const char* name, double* field, const char* expected);
OptionRow Custom(const char* name, OptionValueTaker take, const char* expected = "");
// A whole number from 0 to max, which may be as large as 64 bits go.
OptionRow Whole(const char* name, std::uint64_t* field, std::uint64_t max, const char* expected);

// A whole number from min to max into a field of any integer type that holds them.
template <typename T>
OptionRow Whole(const char* name, T* field, std::int64_t min, std::int64_t max,
                const char* expected) {
  return Custom(
      name,
      [field, min, max](const std::string& value, std::string*) {
        std::int64_t number = 0;
        if (!ParseWholeNumber(value, min, max, &number)) return false;
        *field = static_cast<T>(number);
        return true;
      },
      expected);
}
