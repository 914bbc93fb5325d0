// The configuration file of the four settings: what start-up makes of every kind of file, what
// the shutdown writes, and that a failed save never damages the settings already stored.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/resource_ids.h"
#include "support/app_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kReadFailedBox = "错误提示!|通讯口配置读取错误，调用缺省配置!";
const std::string kSaveFailedBox = "错误提示!|通讯口配置保存错误!";
const std::string kWriteErrorBox = "ERROR!|write zep cfg err";

class ConfigFileTest : public AppFixture {
 protected:
  Bytes Saved() const { return files_.Bytes("wscfg.cfg"); }
};

TEST_F(ConfigFileTest, RoundTripOfTheFourSettings) {
  PutConfig({0x02, 0x01, 0x01, 0x08});
  Create();
  EXPECT_TRUE(surface_.Messages().empty());
  EXPECT_EQ(g_state.port_number, 2);
  EXPECT_EQ(g_state.baud_index, 1);
  EXPECT_EQ(g_state.save_log, 1);
  EXPECT_EQ(g_state.sensor_count, 8);
  EXPECT_EQ(g_state.panel_count, 9);

  Settings([](MemoryDialog& d) {
    d.Click(IDC_COM4);
    d.Click(IDC_BAUD_38400);
    d.Type(IDC_SENSOR_COUNT, "17");
    return IDC_CONFIRM;
  });
  surface_.SendClose(hwnd_);
  EXPECT_EQ(Saved(), (Bytes{0x04, 0x02, 0x01, 0x11}));
  EXPECT_FALSE(files_.Exists("wscfg.cfg.tmp"));
}

TEST_F(ConfigFileTest, MissingOrShortFilesGiveTheDefaultsAfterOneMessage) {
  struct Case {
    const char* name;
    bool present;
    Bytes bytes;
  };
  const Case cases[] = {
      {"missing", false, {}}, {"empty", true, {}}, {"three bytes", true, {3, 2, 1}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    if (c.present) PutConfig(c.bytes);
    Create();
    EXPECT_EQ(Boxes(), std::vector<std::string>{kReadFailedBox});
    EXPECT_EQ(g_state.port_number, 1);
    EXPECT_EQ(g_state.baud_index, 0);
    EXPECT_EQ(g_state.save_log, 0);
    EXPECT_EQ(g_state.sensor_count, 4);
    EXPECT_EQ(g_state.panel_count, 4);
    surface_.SendClose(hwnd_);
    EXPECT_EQ(Saved(), (Bytes{1, 0, 0, 4}));
  }
}

TEST_F(ConfigFileTest, ALongerFileIsReadFromItsFirstFourBytesAndRewrittenWithFour) {
  PutConfig({3, 0, 0, 2, 0x55, 0x66});
  Create();
  EXPECT_TRUE(surface_.Messages().empty());
  EXPECT_EQ(g_state.port_number, 3);
  EXPECT_EQ(g_state.sensor_count, 2);
  surface_.SendClose(hwnd_);
  EXPECT_EQ(Saved(), (Bytes{3, 0, 0, 2}));
}

TEST_F(ConfigFileTest, AnyByteValuesAreReadWithoutComplaintAndLimitedWhereTheyCannotBeUsed) {
  // Every value of every byte: nothing is refused, no table is overrun, and what is laid out
  // never exceeds 32 panels.
  for (int v = 0; v <= 255; ++v) {
    SCOPED_TRACE("byte value " + std::to_string(v));
    Restart();
    const auto b = static_cast<std::uint8_t>(v);
    PutConfig({b, b, b, b});
    Create();
    EXPECT_TRUE(surface_.Messages().empty());
    EXPECT_EQ(g_state.port_number, v);
    EXPECT_EQ(g_state.baud_index, v < 3 ? v : 2);
    EXPECT_EQ(g_state.save_log, v == 1 ? 1 : 0);
    EXPECT_EQ(g_state.sensor_count, v < 32 ? v : 32);
    EXPECT_LE(g_state.panel_count, 32);
  }
}

TEST_F(ConfigFileTest, ReadOnlyStartDirectoryReportsTheFailedSaveTwiceAndStillEnds) {
  PutConfig({2, 1, 1, 8});
  Create();
  files_.SetReadOnly(kStartDir, true);
  Command(CMD_OPEN);
  Command(CMD_EXIT);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{kSaveFailedBox, kSaveFailedBox}));
  EXPECT_TRUE(surface_.QuitPosted());
  EXPECT_FALSE(surface_.IsAlive(hwnd_));
  EXPECT_EQ(Saved(), (Bytes{2, 1, 1, 8}));
}

TEST_F(ConfigFileTest, AFailedWriteLeavesTheOldSettingsInPlace) {
  struct Fault {
    const char* name;
    void (*apply)(MemoryFileStore&);
    std::vector<std::string> boxes;
  };
  const Fault faults[] = {
      {"short write",
       [](MemoryFileStore& f) { f.FailWritesAfter(2); },
       {kWriteErrorBox, kSaveFailedBox, kWriteErrorBox, kSaveFailedBox}},
      {"failed flush",
       [](MemoryFileStore& f) { f.FailCloses(true); },
       {kWriteErrorBox, kSaveFailedBox, kWriteErrorBox, kSaveFailedBox}},
      {"failed rename",
       [](MemoryFileStore& f) { f.FailReplaces(true); },
       {kSaveFailedBox, kSaveFailedBox}},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    Restart();
    PutConfig({2, 1, 1, 8});
    Create();
    g_state.sensor_count = 20;
    fault.apply(files_);
    surface_.SendClose(hwnd_);
    EXPECT_EQ(Boxes(), fault.boxes);
    EXPECT_EQ(Saved(), (Bytes{2, 1, 1, 8}));
    EXPECT_FALSE(files_.Exists("wscfg.cfg.tmp"));
    EXPECT_EQ(files_.OpenHandles(), 0);
  }
}

}  // namespace
