// What a listening front end learns of a run: the decoded values of every reading, every error
// with all its bytes, the start of a run and the export's name.
#include "app/platform.h"
#include "app/poll_cycle.h"
#include "app/resource_ids.h"
#include "support/fixture.h"

namespace {

struct Heard : ReadingSink {
  void OnReading(const ReadingEvent& r) override {
    readings.push_back(r);
    frames.emplace_back(r.frame, r.frame + kFrameSize);
  }
  void OnError(const ErrorEvent& e) override {
    errors.push_back(e);
    error_bytes.emplace_back(e.bytes, e.bytes + e.byte_count);
    lines.emplace_back(e.line);
  }
  void OnRunStarted() override { ++starts; }
  void OnExported(const char* name) override { exports.emplace_back(name); }

  std::vector<ReadingEvent> readings;
  std::vector<Bytes> frames;
  std::vector<ErrorEvent> errors;
  std::vector<Bytes> error_bytes;
  Lines lines;
  Lines exports;
  int starts = 0;
};

class ReadingSinkTest : public CoreTest {
 protected:
  void SetUp() override {
    g_platform.readings = &heard_;
    CoreTest::SetUp();
  }
  void TearDown() override {
    CoreTest::TearDown();
    g_platform.readings = nullptr;
  }
  Heard heard_;
};

TEST_F(ReadingSinkTest, ReadingsCarryTheDecodedValuesAndMissingOnesAreMarked) {
  EXPECT_EQ(heard_.starts, 1);
  const Bytes missing = MakeFrame(2, 0x3B, 0xFFFF, 0xFFFF);
  const Bytes negative = MakeFrame(7, 0x3C, 0x0828, 0x0320);  // -2.5 degrees, 80.0 %RH
  clock_.SetTick(clock_.TickCount() + 100);
  port_.Arrive(Concat({ExampleFrame(), missing, negative}));
  PollCycle(hwnd_);
  ASSERT_EQ(heard_.readings.size(), 3u);
  const ReadingEvent& a = heard_.readings[0];
  EXPECT_EQ(a.sensor_id, 5);
  EXPECT_EQ(a.number, 0);
  EXPECT_TRUE(a.has_temperature && a.has_humidity && a.has_interval);
  EXPECT_EQ(a.temperature_sixteenths, 369);
  EXPECT_EQ(a.humidity_tenths, 456);
  EXPECT_EQ(a.tick, g_state.sensor_last_tick[5]);
  EXPECT_EQ(heard_.frames[0], ExampleFrame());
  EXPECT_FALSE(heard_.readings[1].has_temperature || heard_.readings[1].has_humidity);
  EXPECT_EQ(heard_.readings[2].temperature_sixteenths, -40);
  EXPECT_EQ(heard_.readings[2].humidity_tenths, 800);
}

TEST_F(ReadingSinkTest, TenOrMoreSensorsGiveTimedReadingsWithoutIntervalOrStateChange) {
  SetSensors("12");
  Command(CMD_START);
  const std::uint32_t before = g_state.sensor_last_tick[3];
  clock_.SetTick(123456);
  port_.Arrive(MakeFrame(3, 0, 0x0100, 0x0200));
  PollCycle(hwnd_);
  ASSERT_EQ(heard_.readings.size(), 1u);
  EXPECT_FALSE(heard_.readings[0].has_interval);
  EXPECT_GE(heard_.readings[0].tick, 123456u);
  EXPECT_EQ(g_state.sensor_last_tick[3], before);
}

TEST_F(ReadingSinkTest, ErrorsCarryEveryByteConcernedAndTheLineAsShown) {
  Bytes strays(20);
  for (std::size_t i = 0; i < strays.size(); ++i) strays[i] = static_cast<std::uint8_t>(i);
  Bytes bad = ExampleFrame();
  bad[7] ^= 1;
  port_.Arrive(Concat({strays, bad, MakeFrame(40, 0, 0, 0)}));
  PollCycle(hwnd_);
  ASSERT_EQ(heard_.errors.size(), 3u);
  EXPECT_EQ(heard_.errors[0].code, 1);
  EXPECT_EQ(heard_.error_bytes[0], strays);  // all 20, though the line dumps 15
  EXPECT_EQ(heard_.errors[1].code, 2);
  EXPECT_EQ(heard_.error_bytes[1], bad);
  EXPECT_EQ(heard_.errors[2].code, 5);
  EXPECT_EQ(heard_.errors[2].number, 2);
  EXPECT_EQ(heard_.lines, Log());
  EXPECT_TRUE(heard_.readings.empty());
}

TEST_F(ReadingSinkTest, OnlyACompleteExportIsAnnounced) {
  g_state.save_log = 1;
  Command(CMD_STOP);
  ASSERT_EQ(heard_.exports.size(), 1u);
  EXPECT_EQ(heard_.exports[0], g_state.log_file_name);
  Command(CMD_START);
  files_.SetReadOnly(kStartDir, true);
  Command(CMD_STOP);
  EXPECT_EQ(heard_.exports.size(), 1u);
  EXPECT_EQ(heard_.starts, 2);
}

}  // namespace
