// COM port numbers to device paths, and the --com option that changes them.
#include "platform/posix/com_port_map.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ComPortMapTest, PortsAreTheMachinesSerialPortsUnlessOverriddenOnTheCommandLine) {
  char program[] = "wsmon";
  char com[] = "--com";
  char value[] = "2=/dev/ttyUSB0";
  char joined[] = "--com=2=./odd=name";  // the last one counts
  char other[] = "--compact";
  std::vector<char*> argv = {program, com, value, joined, other, com};
  ComPortMap ports;
  const std::vector<OptionRow> table = {ComOptionRow(&ports)};
  const OptionWords words = {
      [](const std::string& a) { return "unknown " + a; },
      [](const std::string&) { return std::string("missing"); },
      [](const std::string&, const std::string&, const char*) { return std::string("unfit"); }};
  std::string error;
  EXPECT_TRUE(ParseByTable(4, argv.data(), table, words, &error)) << error;
  EXPECT_FALSE(ParseByTable(5, argv.data(), table, words, &error));
  EXPECT_EQ(error, "unknown --compact");
  argv[4] = com;  // the last word: no value follows
  EXPECT_FALSE(ParseByTable(5, argv.data(), table, words, &error));
  EXPECT_EQ(error, "--com needs a value N=PATH (for example --com 1=/dev/ttyUSB0)");
  const std::pair<int, const char*> paths[] = {
      {1, "/dev/ttyS0"}, {2, "./odd=name"}, {255, "/dev/ttyS254"}, {0, ""}, {256, ""}};
  for (const auto& [number, path] : paths) EXPECT_EQ(ports.PathFor(number), path) << number;
}

TEST(ComPortMapTest, MalformedValuesAreRefusedAndChangeNothing) {
  for (const char* value :
       {"", "/dev/ttyUSB0", "x=/dev/ttyUSB0", "+1=/dev/ttyUSB0", "1x=/dev/ttyUSB0",
        "0=/dev/ttyUSB0", "256=/dev/ttyUSB0", "99999999999=/dev/ttyUSB0", "3="}) {
    ComPortMap ports;
    std::string error;
    EXPECT_FALSE(ports.ParseOverride(value, &error)) << value;
    EXPECT_NE(error.find("--com"), std::string::npos) << error;
    EXPECT_EQ(ports.PathFor(3), "/dev/ttyS2");
  }
}

}  // namespace
