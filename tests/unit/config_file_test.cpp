// The configuration file of the four settings: what start-up makes of every kind of file, what
// the shutdown writes, and that a failed save never damages the settings already stored.
#include "app/resource_ids.h"
#include "support/fixture.h"

namespace {

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
  EXPECT_EQ(Stored(), std::vector<int>({2, 1, 1, 8}));
  EXPECT_EQ(g_state.panel_count, 9);
  Settings([](MemoryDialog& d) {
    d.Click(IDC_COM4);
    d.Click(IDC_BAUD_38400);
    d.Type(IDC_SENSOR_COUNT, "17");
    return IDC_CONFIRM;
  });
  surface_.SendClose(hwnd_);
  EXPECT_EQ(Saved(), Bytes({0x04, 0x02, 0x01, 0x11}));
  EXPECT_FALSE(files_.Exists("wscfg.cfg.tmp"));
  files_.PowerCut();  // the new file and its name reached the device
  EXPECT_EQ(Saved(), Bytes({0x04, 0x02, 0x01, 0x11}));
}

TEST_F(ConfigFileTest, MissingShortAndLongFiles) {
  struct Case {
    const char* name;
    bool present;
    Bytes bytes;
    std::vector<int> settings;  // as read, and as the shutdown writes them
  };
  const Case cases[] = {
      {"missing", false, {}, {1, 0, 0, 4}},
      {"empty", true, {}, {1, 0, 0, 4}},
      {"three bytes", true, {3, 2, 1}, {1, 0, 0, 4}},
      {"six bytes", true, {3, 0, 0, 2, 0x55, 0x66}, {3, 0, 0, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    if (c.present) PutConfig(c.bytes);
    Create();
    if (c.settings == std::vector<int>({1, 0, 0, 4})) {
      EXPECT_EQ(Boxes(), Lines{"错误提示!|通讯口配置读取错误，调用缺省配置!"});
    } else {
      EXPECT_TRUE(Boxes().empty());
    }
    EXPECT_EQ(Stored(), c.settings);
    surface_.SendClose(hwnd_);
    EXPECT_EQ(Saved(), Bytes(c.settings.begin(), c.settings.end()));
  }
}

TEST_F(ConfigFileTest, AnyByteValuesAreReadWithoutComplaintAndLimitedWhereTheyCannotBeUsed) {
  // Nothing is refused, no table is overrun, and no more than 32 panels are ever laid out.
  for (int v = 0; v <= 255; ++v) {
    SCOPED_TRACE("byte value " + std::to_string(v));
    Restart();
    const auto b = static_cast<std::uint8_t>(v);
    PutConfig({b, b, b, b});
    Create();
    EXPECT_TRUE(surface_.Messages().empty());
    EXPECT_EQ(Stored(), std::vector<int>({v, std::min(v, 2), v == 1, std::min(v, 32)}));
    EXPECT_LE(g_state.panel_count, 32);
  }
}

TEST_F(ConfigFileTest, AFailedWriteLeavesTheOldSettingsInPlace) {
  struct Fault {
    const char* name;
    void (*apply)(MemoryFileStore&);
    Lines boxes;
  };
  const Lines write_failed = {kWriteErrorBox, kSaveFailedBox, kWriteErrorBox, kSaveFailedBox};
  const Fault faults[] = {
      {"short write", [](MemoryFileStore& f) { f.FailWritesAfter(2); }, write_failed},
      {"failed flush", [](MemoryFileStore& f) { f.FailCloses(true); }, write_failed},
      {"failed rename",
       [](MemoryFileStore& f) { f.FailReplaces(true); },
       {kSaveFailedBox, kSaveFailedBox}},
      {"read-only directory",
       [](MemoryFileStore& f) { f.SetReadOnly(kStartDir, true); },
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
    EXPECT_TRUE(surface_.QuitPosted());
    EXPECT_EQ(Saved(), Bytes({2, 1, 1, 8}));
    EXPECT_FALSE(files_.Exists("wscfg.cfg.tmp"));
    EXPECT_EQ(files_.OpenHandles(), 0);
  }
}

}  // namespace
