// The simulated receiver's command line: every kind of option read into its field, and every
// mistake refused in the simulator's words before it sends a byte.
#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Parse(std::vector<std::string> words, SimOptions* o, std::string* error) {
  std::vector<char*> argv = {const_cast<char*>("wsmon-sim")};
  for (std::string& w : words) argv.push_back(w.data());
  return ParseSimOptions(static_cast<int>(argv.size()), argv.data(), o, error);
}

TEST(SimOptions, EveryKindOfOptionReachesItsField) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--device=/dev/x", "--baud", "19200", "--no-pace", "--ids", "3,0,7",
                     "--interval", "250", "--interval=7=40", "--temp", "-5:-3", "--stray", ".25",
                     "--seed", "18446744073709551615", "--seconds", "0.0015", "--echo"},
                    &o, &error))
      << error;
  EXPECT_EQ(o.device, "/dev/x");
  EXPECT_EQ(o.baud, 19200u);
  EXPECT_FALSE(o.pace);
  EXPECT_EQ(o.ids, (std::vector<int>{3, 0, 7}));
  EXPECT_EQ(o.interval_ms, 250u);
  EXPECT_EQ(o.sensor_interval_ms, (std::map<int, std::uint32_t>{{7, 40}}));
  EXPECT_EQ(std::make_pair(o.temp_min_c, o.temp_max_c), std::make_pair(-5, -3));
  EXPECT_EQ(o.stray_rate, 0.25);
  EXPECT_EQ(o.seed, UINT64_MAX);
  EXPECT_EQ(o.max_ms, 2u);  // 1.5 ms, half away from zero
  EXPECT_TRUE(o.echo);
  SimOptions counted;
  ASSERT_TRUE(Parse({"--sensors", "2", "--seconds=0.0001"}, &counted, &error)) << error;
  EXPECT_EQ(counted.ids, (std::vector<int>{0, 1}));
  EXPECT_EQ(counted.max_ms, 1u);  // above 0 is at least a millisecond
  SimOptions replay;
  ASSERT_TRUE(Parse({"--replay", "run.rec", "--speed", "2.5"}, &replay, &error)) << error;
  EXPECT_EQ(std::make_pair(replay.replay, replay.speed),
            std::make_pair(std::string("run.rec"), 2.5));
}

TEST(SimOptions, MistakesAreRefusedInTheSimulatorsWords) {
  const struct {
    std::vector<std::string> words;
    const char* error;
  } cases[] = {
      {{"--bogus"}, "unknown option \"--bogus\" (see --help)"},
      {{"--echo=1"}, "unknown option \"--echo=1\" (see --help)"},
      {{"--seed"}, "--seed needs a value (see --help)"},
      {{"--device="}, "--device: \"\" is not a device path"},
      {{"--baud", "4800"}, "--baud: \"4800\" is not 9600, 19200 or 38400"},
      {{"--sensors", "33"}, "--sensors: \"33\" is not a sensor count from 1 to 32"},
      {{"--ids", "1,1"}, "--ids: \"1,1\" is not a list of different ids from 0 to 255, like 0,5,7"},
      {{"--sensors", "4", "--ids"}, "give either --sensors or --ids, not both"},
      {{"--interval", "0"}, "--interval: \"0\" is not a time in ms from 1 to 3600000"},
      {{"--interval", "256=5"},
       "--interval: \"256=5\" is not ID=MS (an id 0..255, MS from 1 to 3600000)"},
      {{"--interval", "9=5"}, "--interval 9=5: there is no sensor 9 (see --sensors, --ids)"},
      {{"--temp", "6:5"}, "--temp: \"6:5\" is not MIN:MAX in whole degrees from -120 to 120"},
      {{"--burst", "1.01"}, "--burst: \"1.01\" is not a rate from 0 to 1"},
      {{"--missing", "1e-2"}, "--missing: \"1e-2\" is not a rate from 0 to 1"},
      {{"--seed", "-1"}, "--seed: \"-1\" is not a whole number"},
      {{"--frames", "0"}, "--frames: \"0\" is not a frame count from 1 to 1000000000"},
      {{"--seconds", "0.000"}, "--seconds: \"0.000\" is not a time in seconds above 0"},
      {{"--seconds", "1000001"}, "--seconds: \"1000001\" is not a time in seconds above 0"},
      {{"--speed", "0"}, "--speed: \"0\" is not a number above 0 (up to 100000) or max"},
      {{"--replay", "a", "--write-recording", "b"},
       "give either --replay or --write-recording, not both"},
      {{"--write-recording", "b"}, "--write-recording needs an end: --seconds or --frames"},
      {{"--write-recording", "b", "--frames", "9", "--echo"},
       "--write-recording records a plain receiver: leave out --echo"},
  };
  for (const auto& c : cases) {
    SimOptions o;
    std::string error;
    EXPECT_FALSE(Parse(c.words, &o, &error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
