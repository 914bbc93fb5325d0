// COM port numbers to device paths, and the --com option that changes them.
#include "platform/posix/com_port_map.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ComPortMapTest, PortsAreTheMachinesSerialPortsUnlessOverridden) {
  ComPortMap ports;
  EXPECT_EQ(ports.PathFor(1), "/dev/ttyS0");
  EXPECT_EQ(ports.PathFor(4), "/dev/ttyS3");
  EXPECT_EQ(ports.PathFor(255), "/dev/ttyS254");
  EXPECT_EQ(ports.PathFor(0), "");
  EXPECT_EQ(ports.PathFor(256), "");
  EXPECT_EQ(ports.PathFor(-1), "");

  std::string error;
  ASSERT_TRUE(ports.ParseOverride("2=/dev/ttyUSB0", &error)) << error;
  ASSERT_TRUE(ports.ParseOverride("2=/dev/ttyUSB1", &error)) << error;  // the last one counts
  ASSERT_TRUE(ports.ParseOverride("9=./odd=name", &error)) << error;
  EXPECT_EQ(ports.PathFor(2), "/dev/ttyUSB1");
  EXPECT_EQ(ports.PathFor(9), "./odd=name");
  EXPECT_EQ(ports.PathFor(1), "/dev/ttyS0");
  EXPECT_EQ(ports.PathFor(3), "/dev/ttyS2");
}

TEST(ComPortMapTest, MalformedValuesAreRefusedWithAReasonAndChangeNothing) {
  struct Case {
    const char* value;
    const char* reason;  // a part of the message
  };
  const Case cases[] = {
      {"", "N=PATH"},
      {"/dev/ttyUSB0", "N=PATH"},
      {"=/dev/ttyUSB0", "whole number from 1 to 255"},
      {"x=/dev/ttyUSB0", "whole number from 1 to 255"},
      {"+1=/dev/ttyUSB0", "whole number from 1 to 255"},
      {"1x=/dev/ttyUSB0", "whole number from 1 to 255"},
      {"0=/dev/ttyUSB0", "whole number from 1 to 255"},
      {"256=/dev/ttyUSB0", "whole number from 1 to 255"},
      {"99999999999=/dev/ttyUSB0", "whole number from 1 to 255"},
      {"3=", "no device path"},
  };
  for (const Case& c : cases) {
    ComPortMap ports;
    std::string error;
    EXPECT_FALSE(ports.ParseOverride(c.value, &error)) << c.value;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.value << ": " << error;
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
  EXPECT_EQ(index, 3);
  EXPECT_EQ(TakeComOption(argc, argv.data(), &index, &ports, &error), kComOptionTaken);
  EXPECT_EQ(index, 4);
  EXPECT_EQ(ports.PathFor(2), "/dev/ttyUSB0");
  EXPECT_EQ(ports.PathFor(3), "/tmp/line");

  EXPECT_EQ(TakeComOption(argc, argv.data(), &index, &ports, &error), kNotComOption);
  EXPECT_EQ(index, 4);

  index = 5;
  EXPECT_EQ(TakeComOption(argc, argv.data(), &index, &ports, &error), kComOptionBad);
  EXPECT_NE(error.find("two=/dev/ttyUSB0"), std::string::npos) << error;

  index = 7;  // the last word: no value follows
  error.clear();
  EXPECT_EQ(TakeComOption(argc, argv.data(), &index, &ports, &error), kComOptionBad);
  EXPECT_NE(error.find("needs a value"), std::string::npos) << error;
}

}  // namespace
