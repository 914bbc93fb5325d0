#include "sim/sim_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool ParseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const unsigned long long parsed = std::strtoull(text.c_str(), nullptr, 10);
  if (parsed > max) return false;
  *value = parsed;
  return true;
}

bool ParseInt(const std::string& text, int min, int max, int* value) {
  const bool negative = !text.empty() && text[0] == '-';
  std::uint64_t magnitude = 0;
  if (!ParseUnsigned(negative ? text.substr(1) : text, 1000000, &magnitude)) return false;
  const long long signed_value =
      negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
  if (signed_value < min || signed_value > max) return false;
  *value = static_cast<int>(signed_value);
  return true;
}

bool ParseRate(const std::string& text, double* rate) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !(parsed >= 0 && parsed <= 1)) {
    return false;
  }
  *rate = parsed;
  return true;
}

bool ParseIdList(const std::string& text, std::vector<int>* ids) {
  std::vector<int> parsed;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type comma = text.find(',', start);
    int id = 0;
    if (!ParseInt(text.substr(start, comma - start), 0, 255, &id)) return false;
    if (std::find(parsed.begin(), parsed.end(), id) != parsed.end()) return false;
    parsed.push_back(id);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  *ids = parsed;
  return true;
}

struct Parser {
  int argc;
  char* const* argv;
  int index;
  std::string* error;

  // The value of the option at index: "--name=value" or the next word.
  bool Value(const std::string& name, std::string* value) {
    const std::string arg = argv[index];
    if (arg.size() > name.size() && arg[name.size()] == '=') {
      *value = arg.substr(name.size() + 1);
      return true;
    }
    if (index + 1 >= argc) {
      *error = name + " needs a value (see --help)";
      return false;
    }
    *value = argv[++index];
    return true;
  }

  bool Bad(const std::string& name, const std::string& value, const char* expected) {
    *error = name + ": \"" + value + "\" is not " + expected;
    return false;
  }
};

bool Matches(const char* arg, const char* name) {
  const std::size_t length = std::strlen(name);
  return std::strncmp(arg, name, length) == 0 && (arg[length] == '\0' || arg[length] == '=');
}

}  // namespace

bool ParseSimOptions(int argc, char* const* argv, SimOptions* options, std::string* error) {
  Parser parser{argc, argv, 1, error};
  bool ids_given = false;
  for (; parser.index < argc; ++parser.index) {
    const char* arg = argv[parser.index];
    std::string value;
    std::uint64_t number = 0;
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      options->help = true;
    } else if (std::strcmp(arg, "--version") == 0) {
      options->version = true;
    } else if (std::strcmp(arg, "--no-pace") == 0) {
      options->pace = false;
    } else if (std::strcmp(arg, "--echo") == 0) {
      options->echo = true;
    } else if (std::strcmp(arg, "--wait-probe") == 0) {
      options->wait_probe = true;
    } else if (Matches(arg, "--device")) {
      if (!parser.Value("--device", &options->device)) return false;
      if (options->device.empty()) return parser.Bad("--device", value, "a device path");
    } else if (Matches(arg, "--baud")) {
      if (!parser.Value("--baud", &value)) return false;
      if (!ParseUnsigned(value, 38400, &number) ||
          (number != 9600 && number != 19200 && number != 38400)) {
        return parser.Bad("--baud", value, "9600, 19200 or 38400");
      }
      options->baud = static_cast<std::uint32_t>(number);
    } else if (Matches(arg, "--sensors")) {
      if (ids_given) {
        *error = "give either --sensors or --ids, not both";
        return false;
      }
      ids_given = true;
      if (!parser.Value("--sensors", &value)) return false;
      if (!ParseUnsigned(value, 32, &number) || number == 0) {
        return parser.Bad("--sensors", value, "a sensor count from 1 to 32");
      }
      options->ids.clear();
      for (int id = 0; id < static_cast<int>(number); ++id) options->ids.push_back(id);
    } else if (Matches(arg, "--ids")) {
      if (ids_given) {
        *error = "give either --sensors or --ids, not both";
        return false;
      }
      ids_given = true;
      if (!parser.Value("--ids", &value)) return false;
      if (!ParseIdList(value, &options->ids)) {
        return parser.Bad("--ids", value, "a list of different ids from 0 to 255, like 0,5,7");
      }
    } else if (Matches(arg, "--interval")) {
      if (!parser.Value("--interval", &value)) return false;
      const std::string::size_type equals = value.find('=');
      int id = 0;
      if (equals != std::string::npos) {
        if (!ParseInt(value.substr(0, equals), 0, 255, &id) ||
            !ParseUnsigned(value.substr(equals + 1), 3600000, &number) || number == 0) {
          return parser.Bad("--interval", value, "ID=MS (an id 0..255, MS from 1 to 3600000)");
        }
        options->sensor_interval_ms[id] = static_cast<std::uint32_t>(number);
      } else {
        if (!ParseUnsigned(value, 3600000, &number) || number == 0) {
          return parser.Bad("--interval", value, "a time in ms from 1 to 3600000");
        }
        options->interval_ms = static_cast<std::uint32_t>(number);
      }
    } else if (Matches(arg, "--jitter")) {
      if (!parser.Value("--jitter", &value)) return false;
      if (!ParseUnsigned(value, 3600000, &number)) {
        return parser.Bad("--jitter", value, "a time in ms from 0 to 3600000");
      }
      options->jitter_ms = static_cast<std::uint32_t>(number);
    } else if (Matches(arg, "--temp")) {
      if (!parser.Value("--temp", &value)) return false;
      const std::string::size_type colon = value.find(':', 1);
      if (colon == std::string::npos ||
          !ParseInt(value.substr(0, colon), -120, 120, &options->temp_min_c) ||
          !ParseInt(value.substr(colon + 1), -120, 120, &options->temp_max_c) ||
          options->temp_min_c > options->temp_max_c) {
        return parser.Bad("--temp", value, "MIN:MAX in whole degrees from -120 to 120");
      }
    } else if (Matches(arg, "--split-pause")) {
      if (!parser.Value("--split-pause", &value)) return false;
      if (!ParseUnsigned(value, 60000, &number)) {
        return parser.Bad("--split-pause", value, "a time in ms from 0 to 60000");
      }
      options->split_pause_ms = static_cast<std::uint32_t>(number);
    } else if (Matches(arg, "--missing") || Matches(arg, "--stray") ||
               Matches(arg, "--bad-check") || Matches(arg, "--high-id") ||
               Matches(arg, "--split") || Matches(arg, "--burst")) {
      const std::string name = std::string(arg).substr(0, std::string(arg).find('='));
      double* rate = name == "--missing"     ? &options->missing_rate
                     : name == "--stray"     ? &options->stray_rate
                     : name == "--bad-check" ? &options->bad_check_rate
                     : name == "--high-id"   ? &options->high_id_rate
                     : name == "--split"     ? &options->split_rate
                                             : &options->burst_rate;
      if (!parser.Value(name, &value)) return false;
      if (!ParseRate(value, rate)) return parser.Bad(name, value, "a rate from 0 to 1");
    } else if (Matches(arg, "--seed")) {
      if (!parser.Value("--seed", &value)) return false;
      if (!ParseUnsigned(value, UINT64_MAX, &options->seed)) {
        return parser.Bad("--seed", value, "a whole number");
      }
    } else if (Matches(arg, "--frames")) {
      if (!parser.Value("--frames", &value)) return false;
      if (!ParseUnsigned(value, 1000000000, &options->max_frames) || options->max_frames == 0) {
        return parser.Bad("--frames", value, "a frame count from 1 to 1000000000");
      }
    } else if (Matches(arg, "--seconds")) {
      if (!parser.Value("--seconds", &value)) return false;
      double seconds = 0;
      char* end = nullptr;
      seconds = std::strtod(value.c_str(), &end);
      if (value.empty() || end != value.c_str() + value.size() || !(seconds > 0) || seconds > 1e6) {
        return parser.Bad("--seconds", value, "a time in seconds above 0");
      }
      options->max_ms = static_cast<std::uint64_t>(seconds * 1000 + 0.5);
      if (options->max_ms == 0) options->max_ms = 1;
    } else if (Matches(arg, "--linger")) {
      if (!parser.Value("--linger", &value)) return false;
      if (!ParseUnsigned(value, 600000, &number)) {
        return parser.Bad("--linger", value, "a time in ms from 0 to 600000");
      }
      options->linger_ms = static_cast<std::uint32_t>(number);
    } else {
      *error = std::string("unknown option \"") + arg + "\" (see --help)";
      return false;
    }
  }
  for (const auto& [id, ms] : options->sensor_interval_ms) {
    if (std::find(options->ids.begin(), options->ids.end(), id) == options->ids.end()) {
      *error = "--interval " + std::to_string(id) + "=" + std::to_string(ms) +
               ": there is no sensor " + std::to_string(id) + " (see --sensors, --ids)";
      return false;
    }
  }
  return true;
}

const char kSimUsage[] = R"(usage: wsmon-sim [options]

Plays the radio receiver of a wireless temperature/humidity sensor network on a serial line: every
reading of a sensor leaves as one 9-byte frame CC id extra tlo thi hlo hhi check DD. Without
--device it creates a pseudo-terminal; either way the first line of output is the path of the
device the monitor should open (for example: wsmon --com 1=PATH). It then keeps sending until a
stop condition is met or it is interrupted (SIGINT, SIGTERM), and prints a summary last.

Line:
  --device PATH      send on this serial device instead of a new pseudo-terminal
  --baud N           9600, 19200 or 38400 (default 9600): the device's line speed and the pace
  --no-pace          write every part of a transmission at once; by default bytes leave at the
                     pace of the line, 10 bit times each (about 1.04 ms at 9600)
  --echo             act as an echoing receiver: answer the probe "ABC" with "ABC", and begin
                     every separately written part of a transmission with 5 bytes of its own
                     (55 AA, frame count, part number & 7F, 00)
                     (without it the receiver stays silent and sends no such bytes)
  --wait-probe       send no frames before the probe has arrived
Sensors:
  --sensors N        N sensors with the ids 0 to N-1 (1..32; default 4)
  --ids LIST         these sensor ids instead, like 0,5,31 (0..255)
  --interval MS      mean time between two readings of a sensor (default 1000)
  --interval ID=MS   the same for sensor ID alone (repeatable)
  --jitter MS        every interval varies evenly by up to +-MS (default 100)
  --temp MIN:MAX     the sensors' base temperatures are spread over MIN..MAX degrees Celsius
                     (default -20:35); each sensor's reading drifts around its base
  --missing RATE     share of readings without a temperature, a humidity or both (FF FF)
                     (default 0.02)
Faults (RATE from 0 to 1, default 0):
  --stray RATE       share of transmissions that begin with 1 to 4 stray bytes (never CC)
  --bad-check RATE   share of frames sent with a wrong check byte
  --high-id RATE     share of transmissions that carry an extra frame with an id from 32 to 255
  --split RATE       share of transmissions written in two parts, cut inside the first frame
  --split-pause MS   pause between the two parts (default 300)
  --burst RATE       share of transmissions in which the sensor sends 2 to 5 readings back to back
Run:
  --seed N           seed of every random choice (default 1); the same options and seed give
                     the same bytes in the same order
  --frames N         stop after N frames (all frames count, faulty ones included)
  --seconds S        stop after S seconds of schedule
  --linger MS        after the last transmission keep the line open MS ms (default 1000), so
                     that a monitor polling the line still reads the last bytes: the bytes
                     that are still queued when the line closes are lost
  --help             this text
  --version          print the version

The extra byte of a sensor's frame counts that sensor's readings (0, 1, ... 255, 0, ...), so a
reader can tell lost readings from late ones. Readings start at a random point of each sensor's
first interval. After answering a probe the receiver keeps quiet for 150 ms.

Summary (stdout, after the line is closed): one "KEY VALUE" line each, in this order, then "end":
  summary 1          marks the start of the summary
  frames N           frames written in full, whatever their kind
  sensor ID N        one line per configured sensor, in --ids order: frames with a good check
                     byte and the sensor's own id
  high_id N          frames with a good check byte and an id from 32 to 255 (--high-id)
  bad_check N        frames with a wrong check byte (--bad-check)
  stray_bytes N      stray bytes written (--stray); prefix bytes are not counted here
  stray_runs N       transmissions that began with stray bytes
  split N            transmissions written in two parts
  bursts N           transmissions with 2 or more readings of their sensor
  missing_temp N     frames without a temperature
  missing_hum N      frames without a humidity
  prefix_bytes N     echo-mode prefix bytes written
  probes N           probes "ABC" received
  probe_replies N    probes answered
  bytes N            all bytes written (frames, stray, prefixes, replies)
  dropped_bytes N    bytes the line did not take (nobody read it and its queue was full); a
                     frame that lost a byte this way is not counted above
  end

A monitor that takes every byte, as wsmon does with a plain receiver, counts exactly these
figures: readings per sensor, high_id, bad_check, stray_bytes, missing values. Its error events
can outnumber stray_runs, since stray bytes that two of its reads cut apart make two events.
With --echo it is different: the monitor empties the port after every read, so that the next read
starts with a block's 5 bytes; bytes that arrive between its read and that purge are lost, and a
read that catches two blocks keeps the second block's 5 bytes as stray bytes. There compare its
counts as "at most" per sensor, or space transmissions well apart (long --interval, no --burst)
to make losses rare.
)";
