// COM port numbers to device paths, and the --com option that changes them.
#include "platform/posix/com_port_map.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ComPortMapTest, PortsAreTheMachinesSerialPortsUnlessOverridden) {
  ComPortMap ports;
  std::string error;
  ASSERT_TRUE(ports.ParseOverride("2=/dev/ttyUSB0", &error)) << error;
  ASSERT_TRUE(ports.ParseOverride("2=/dev/ttyUSB1", &error)) << error;  // the last one counts
  ASSERT_TRUE(ports.ParseOverride("9=./odd=name", &error)) << error;
  const std::pair<int, const char*> paths[] = {{1, "/dev/ttyS0"},
                                               {2, "/dev/ttyUSB1"},
                                               {3, "/dev/ttyS2"},
                                               {9, "./odd=name"},
                                               {255, "/dev/ttyS254"},
                                               {0, ""},
                                               {256, ""},
                                               {-1, ""}};
  for (const auto& [number, path] : paths) EXPECT_EQ(ports.PathFor(number), path) << number;
}

TEST(ComPortMapTest, MalformedValuesAreRefusedWithAReasonAndChangeNothing) {
  for (const char* value :
       {"", "/dev/ttyUSB0", "=/dev/ttyUSB0", "x=/dev/ttyUSB0", "+1=/dev/ttyUSB0", "1x=/dev/ttyUSB0",
        "0=/dev/ttyUSB0", "256=/dev/ttyUSB0", "99999999999=/dev/ttyUSB0", "3="}) {
    ComPortMap ports;
    std::string error;
    EXPECT_FALSE(ports.ParseOverride(value, &error)) << value;
    EXPECT_NE(error.find("--com"), std::string::npos) << error;
    EXPECT_EQ(ports.PathFor(3), "/dev/ttyS2");
    EXPECT_EQ(ports.PathFor(1), "/dev/ttyS0");
  }
}

TEST(ComPortMapTest, TheOptionIsTakenFromACommandLineInEitherSpelling) {
  char program[] = "wsmon";
  char com[] = "--com";
  char value[] = "2=/dev/ttyUSB0";
  char joined[] = "--com=3=/tmp/line";
  char other[] = "--compact";
  char bad[] = "two=/dev/ttyUSB0";
  std::vector<char*> argv = {program, com, value, joined, other, com, bad, com};
  const int argc = static_cast<int>(argv.size());
  ComPortMap ports;
  std::string error;
  int index = 1;
  EXPECT_EQ(TakeComOption(argc, argv.data(), &index, &ports, &error), kComOptionTaken);
  EXPECT_EQ(TakeComOption(argc, argv.data(), &index, &ports, &error), kComOptionTaken);
  EXPECT_EQ(ports.PathFor(2), "/dev/ttyUSB0");
  EXPECT_EQ(ports.PathFor(3), "/tmp/line");
  EXPECT_EQ(TakeComOption(argc, argv.data(), &index, &ports, &error), kNotComOption);
  EXPECT_EQ(index, 4);
  index = 5;
  EXPECT_EQ(TakeComOption(argc, argv.data(), &index, &ports, &error), kComOptionBad);
  index = 7;  // the last word: no value follows
  EXPECT_EQ(TakeComOption(argc, argv.data(), &index, &ports, &error), kComOptionBad);
}

}  // namespace
