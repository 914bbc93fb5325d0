#include "sim/sim_options.h"

#include <algorithm>

#include "cli/decimal.h"
#include "cli/option_table.h"

namespace {

const char kUsageHead[] = R"(usage: wsmon-sim [options]

Plays the radio receiver of a wireless temperature/humidity sensor network on a serial line: every
reading of a sensor leaves as one 9-byte frame CC id extra tlo thi hlo hhi check DD. Without
--device it creates a pseudo-terminal; either way the first line of output is the path of the
device the monitor should open (for example: wsmon --com 1=PATH). It then keeps sending until a
stop condition is met or it is interrupted (SIGINT, SIGTERM), and prints a summary last.

)";

const char kUsageTail[] = R"(
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
  sensor_lost ID N   one line per configured sensor, in --ids order, for each of the five keys
                     that begin with sensor_: readings the sensor lost on the air (--lose)
  sensor_bad_check ID N
                     its frames with a wrong check byte
  sensor_missing_temp ID N, sensor_missing_hum ID N
                     its frames with a good check byte and without a temperature, a humidity
  sensor_sequence_lost ID N
                     readings that its count shows missing between its first and its last frame
                     with a good check byte: those lost on the air and those sent damaged
  end

A monitor that takes every byte, as wsmon does with a plain receiver, counts exactly these
figures: readings per sensor, high_id, bad_check, stray_bytes, missing values, and per sensor
its bad check bytes, missing values and, reading the extra byte as the sensor's count,
sensor_sequence_lost. Its error events
can outnumber stray_runs, since stray bytes that two of its reads cut apart make two events.
With --echo it is different: the monitor empties the port after every read, so that the next read
starts with a block's 5 bytes; bytes that arrive between its read and that purge are lost, and a
read that catches two blocks keeps the second block's 5 bytes as stray bytes. There compare its
counts as "at most" per sensor, or space transmissions well apart (long --interval, no --burst)
to make losses rare.
)";

const char kRate[] = "a rate from 0 to 1";
const char kOneSensorOption[] = "give either --sensors or --ids, not both";
const char kOneRecordingOption[] = "give either --replay or --write-recording, not both";

std::string Unknown(const std::string& argument) {
  return "unknown option \"" + argument + "\" (see --help)";
}

std::string Missing(const std::string& name) {
  return name + " needs a value (see --help)";
}

std::string Unfit(const std::string& name, const std::string& value, const char* expected) {
  return name + ": \"" + value + "\" is not " + expected;
}

const OptionWords kWords = {Unknown, Missing, Unfit};

bool TakeBaud(const std::string& value, SimOptions* o) {
  std::int64_t rate = 0;
  if (!ParseWholeNumber(value, 0, 38400, &rate) || (rate != 9600 && rate != 19200 && rate != 38400))
    return false;
  o->baud = static_cast<std::uint32_t>(rate);
  return true;
}

bool TakeSensorCount(const std::string& value, SimOptions* o) {
  std::int64_t count = 0;
  if (!ParseWholeNumber(value, 1, 32, &count)) return false;
  o->ids.clear();
  for (int id = 0; id < count; ++id) o->ids.push_back(id);
  return true;
}

// "0,5,7": different ids from 0 to 255.
bool TakeIdList(const std::string& text, SimOptions* o) {
  std::vector<int> parsed;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type comma = text.find(',', start);
    std::int64_t id = 0;
    if (!ParseWholeNumber(text.substr(start, comma - start), 0, 255, &id)) return false;
    if (std::find(parsed.begin(), parsed.end(), id) != parsed.end()) return false;
    parsed.push_back(static_cast<int>(id));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  o->ids = parsed;
  return true;
}

// "MS" for every sensor, or "ID=MS" for one; each form has its own words for a mistake.
bool TakeInterval(const std::string& value, SimOptions* o, std::string* error) {
  const std::string::size_type equals = value.find('=');
  std::int64_t id = 0, ms = 0;
  if (equals == std::string::npos) {
    if (!ParseWholeNumber(value, 1, 3600000, &ms)) {
      *error = Unfit("--interval", value, "a time in ms from 1 to 3600000");
      return false;
    }
    o->interval_ms = static_cast<std::uint32_t>(ms);
    return true;
  }
  if (!ParseWholeNumber(value.substr(0, equals), 0, 255, &id) ||
      !ParseWholeNumber(value.substr(equals + 1), 1, 3600000, &ms)) {
    *error = Unfit("--interval", value, "ID=MS (an id 0..255, MS from 1 to 3600000)");
    return false;
  }
  o->sensor_interval_ms[static_cast<int>(id)] = static_cast<std::uint32_t>(ms);
  return true;
}

bool TakeTemperatures(const std::string& value, SimOptions* o) {
  std::int64_t low = 0, high = 0;
  if (!ParseWholeRange(value, ':', -120, 120, &low, &high)) return false;
  o->temp_min_c = static_cast<int>(low);
  o->temp_max_c = static_cast<int>(high);
  return true;
}

// Seconds above 0 and up to 1000000, kept as milliseconds (at least 1).
bool TakeSeconds(const std::string& value, SimOptions* o) {
  Decimal seconds;
  std::uint64_t ms = 0;
  if (!ParseDecimal(value, &seconds) || seconds.digits == 0 ||
      !DecimalToUnits(seconds, 3, 1000000000, &ms)) {
    return false;
  }
  o->max_ms = std::max<std::uint64_t>(ms, 1);
  return true;
}

// The options, in the order of the help text.
std::vector<OptionRow> SimOptionTable(SimOptions* o) {
  // A value taken by one of the functions above.
  const auto in = [o](bool (*take)(const std::string&, SimOptions*)) {
    return [o, take](const std::string& value, std::string*) { return take(value, o); };
  };
  return {
      Heading("Line:\n"),
      NonEmptyText("--device", &o->device, "a device path")
          .Help("  --device PATH      send on this serial device instead of a new "
                "pseudo-terminal\n"),
      Custom("--baud", in(TakeBaud), "9600, 19200 or 38400")
          .Help("  --baud N           9600, 19200 or 38400 (default 9600): the device's line "
                "speed and the pace\n"),
      Flag("--no-pace", &o->pace, false)
          .Help("  --no-pace          write every part of a transmission at once; by default "
                "bytes leave at the\n"
                "                     pace of the line, 10 bit times each (about 1.04 ms at "
                "9600)\n"),
      Flag("--echo", &o->echo)
          .Help("  --echo             act as an echoing receiver: answer the probe \"ABC\" with "
                "\"ABC\", and begin\n"
                "                     every separately written part of a transmission with 5 "
                "bytes of its own\n"
                "                     (55 AA, frame count, part number & 7F, 00)\n"
                "                     (without it the receiver stays silent and sends no such "
                "bytes)\n"),
      Flag("--wait-probe", &o->wait_probe)
          .Help("  --wait-probe       send no frames before the probe has arrived\n"),
      Heading("Sensors:\n"),
      Custom("--sensors", in(TakeSensorCount), "a sensor count from 1 to 32")
          .Exclusive(kOneSensorOption)
          .Help("  --sensors N        N sensors with the ids 0 to N-1 (1..32; default 4)\n"),
      Custom("--ids", in(TakeIdList), "a list of different ids from 0 to 255, like 0,5,7")
          .Exclusive(kOneSensorOption)
          .Help("  --ids LIST         these sensor ids instead, like 0,5,31 (0..255)\n"),
      Custom("--interval", [o](const std::string& value,
                               std::string* error) { return TakeInterval(value, o, error); })
          .Help("  --interval MS      mean time between two readings of a sensor (default "
                "1000)\n"
                "  --interval ID=MS   the same for sensor ID alone (repeatable)\n"),
      Whole("--jitter", &o->jitter_ms, 0, 3600000, "a time in ms from 0 to 3600000")
          .Help("  --jitter MS        every interval varies evenly by up to +-MS (default 100)\n"),
      Custom("--temp", in(TakeTemperatures), "MIN:MAX in whole degrees from -120 to 120")
          .Help("  --temp MIN:MAX     the sensors' base temperatures are spread over MIN..MAX "
                "degrees Celsius\n"
                "                     (default -20:35); each sensor's reading drifts around its "
                "base\n"),
      Share("--missing", &o->missing_rate, kRate)
          .Help("  --missing RATE     share of readings without a temperature, a humidity or "
                "both (FF FF)\n"
                "                     (default 0.02)\n"),
      Heading("Faults (RATE from 0 to 1, default 0):\n"),
      Share("--stray", &o->stray_rate, kRate)
          .Help("  --stray RATE       share of transmissions that begin with 1 to 4 stray bytes "
                "(never CC)\n"),
      Share("--bad-check", &o->bad_check_rate, kRate)
          .Help("  --bad-check RATE   share of frames sent with a wrong check byte\n"),
      Share("--high-id", &o->high_id_rate, kRate)
          .Help("  --high-id RATE     share of transmissions that carry an extra frame with an id "
                "from 32 to 255\n"),
      Share("--split", &o->split_rate, kRate)
          .Help("  --split RATE       share of transmissions written in two parts, cut inside the "
                "first frame\n"),
      Whole("--split-pause", &o->split_pause_ms, 0, 60000, "a time in ms from 0 to 60000")
          .Help("  --split-pause MS   pause between the two parts (default 300)\n"),
      Share("--burst", &o->burst_rate, kRate)
          .Help("  --burst RATE       share of transmissions in which the sensor sends 2 to 5 "
                "readings back to back\n"),
      Share("--lose", &o->lose_rate, kRate)
          .Help("  --lose RATE        share of readings that a sensor loses on the air: nothing "
                "is sent, but its\n"
                "                     count in the extra byte moves on, so the next reading "
                "shows the loss\n"),
      Heading("Run:\n"),
      Whole("--seed", &o->seed, UINT64_MAX, "a whole number")
          .Help("  --seed N           seed of every random choice (default 1); the same options "
                "and seed give\n"
                "                     the same bytes in the same order\n"),
      Whole("--frames", &o->max_frames, 1, 1000000000, "a frame count from 1 to 1000000000")
          .Help("  --frames N         stop after N frames (all frames count, faulty ones "
                "included)\n"),
      Custom("--seconds", in(TakeSeconds), "a time in seconds above 0")
          .Help("  --seconds S        stop after S seconds of schedule\n"),
      Whole("--linger", &o->linger_ms, 0, 600000, "a time in ms from 0 to 600000")
          .Help("  --linger MS        after the last transmission keep the line open MS ms "
                "(default 1000), so\n"
                "                     that a monitor polling the line still reads the last "
                "bytes: the bytes\n"
                "                     that are still queued when the line closes are lost\n"),
      Heading("Recordings:\n"),
      NonEmptyText("--replay", &o->replay, "a file name")
          .Exclusive(kOneRecordingOption)
          .Help("  --replay FILE      send what a recording's polls read (wsmon --record FILE), "
                "each poll's bytes\n"
                "                     when the recording's clock says, from its first poll on; the "
                "probe is\n"
                "                     answered as the recorded receiver did; the options of "
                "sensors and faults\n"
                "                     are not used, and the summary counts bytes alone\n"),
      Custom(
          "--speed",
          [o](const std::string& value, std::string*) { return ParseSpeed(value, &o->speed); },
          "a number above 0 (up to 100000) or max")
          .Help("  --speed N|max      --replay N times as fast as recorded (default 1); max: "
                "without pauses\n"),
      NonEmptyText("--write-recording", &o->write_recording, "a file name")
          .Exclusive(kOneRecordingOption)
          .Help("  --write-recording FILE\n"
                "                     open no line: write the traffic straight into the new file "
                "FILE as the\n"
                "                     recording of a monitor that polls every 200 ms, as fast as "
                "the machine\n"
                "                     goes (--seconds or --frames end it)\n"),
      Flag("--help", &o->help).Alias("-h").Help("  --help             this text\n"),
      Flag("--version", &o->version).Help("  --version          print the version\n"),
  };
}

}  // namespace

bool ParseSimOptions(int argc, char* const* argv, SimOptions* options, std::string* error) {
  if (!ParseByTable(argc, argv, SimOptionTable(options), kWords, error)) return false;
  if (!options->write_recording.empty()) {
    if (options->max_frames == 0 && options->max_ms == 0) {
      *error = "--write-recording needs an end: --seconds or --frames";
      return false;
    }
    if (options->echo) {
      *error = "--write-recording records a plain receiver: leave out --echo";
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

std::string SimUsage() {
  SimOptions unused;
  return kUsageHead + TableHelp(SimOptionTable(&unused)) + kUsageTail;
}
