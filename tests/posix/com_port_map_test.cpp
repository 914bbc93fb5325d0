// COM port numbers to device paths, and the --com option that changes them.
#include "platform/posix/com_port_map.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The option's forms (two words, one, repeated) are read in tests/posix/options_test.cpp.
TEST(ComPortMapTest, PortsAreTheMachinesSerialPortsUnlessOverriddenOnTheCommandLine) {
  ComPortMap ports;
  std::string error;
  EXPECT_TRUE(ports.ParseOverride("2=/dev/ttyUSB0", &error) &&
              ports.ParseOverride("2=./odd=name", &error))  // the last one counts
      << error;
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
