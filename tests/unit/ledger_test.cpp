// The reception ledger against figures worked out by hand: intervals, gaps, silence, values,
// damaged and refused frames, the sequence byte, the run's facts; and fed by the monitor itself.
#include "ledger/ledger.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/resource_ids.h"
#include "display/counters.h"
#include "support/allocation_count.h"
#include "support/fixture.h"

namespace {

constexpr int kNone = INT_MIN;  // a reading without this value

class LedgerTest : public ::testing::Test {
 protected:
  LedgerTest() { ResetMonitorState(); }
  ~LedgerTest() override { ResetMonitorState(); }

  void Start(int sensors, std::uint32_t tick = 0) {
    g_state.sensor_count = sensors;
    clock_.SetTick(tick);
    ledger_.OnRunStarted();
  }
  void Read(int id, std::uint32_t tick, int temp = 320, int hum = 456, int extra = 0) {
    frame_ = MakeFrame(static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(extra), 0, 0);
    ReadingEvent r;
    r.sensor_id = id;
    r.tick = tick;
    r.has_temperature = temp != kNone;
    r.temperature_sixteenths = r.has_temperature ? temp : 0;
    r.has_humidity = hum != kNone;
    r.humidity_tenths = r.has_humidity ? hum : 0;
    r.frame = frame_.data();
    ledger_.OnReading(r);
  }
  void Error(int code, int arg, std::uint32_t tick, const Bytes& bytes = {}) {
    ErrorEvent e;
    e.code = code;
    e.arg = arg;
    e.tick = tick;
    e.bytes = bytes.empty() ? nullptr : bytes.data();
    e.byte_count = static_cast<int>(bytes.size());
    ledger_.OnError(e);
  }

  ManualClock clock_;
  Ledger ledger_{&clock_, true};
  Bytes frame_;
};

TEST_F(LedgerTest, IntervalsGapsAndSilenceMatchTheHandWorkedFigures) {
  // Sensor 1's readings at these ticks (the run started at `start`), measured at `now`.
  struct Case {
    const char* name;
    std::uint32_t start;
    std::vector<std::uint32_t> ticks;
    std::uint32_t now;
    std::uint64_t intervals, same_poll;
    std::uint32_t min, median, p95, max, period;
    std::uint64_t gaps, missed, missed_open;
    int delivery;  // hundredths of a percent
    std::uint32_t age;
    bool silent;
  };
  // clang-format off
  const Case cases[] = {
      {"steady", 0, {1000, 2000, 3000, 4000, 5000}, 5500,
       4, 0, 1000, 1000, 1000, 1000, 1000, 0, 0, 0, 10000, 500, false},
      // 8 of 11 readings: intervals of 1, 1, 2, 1, 2, 1, 2 s; the lower median of 7 is 1 s.
      {"every third lost", 0, {0, 1000, 3000, 4000, 6000, 7000, 9000, 10000}, 10500,
       7, 0, 1000, 1000, 2000, 2000, 1000, 3, 3, 0, 7273, 500, false},
      // The silence since the last reading counts as missed readings while it lasts.
      {"silent once 3 x median has passed", 0, {1000, 2000, 3000}, 6001,
       2, 0, 1000, 1000, 1000, 1000, 1000, 0, 0, 2, 6000, 3001, true},
      {"not silent at exactly 3 x median", 0, {1000, 2000, 3000}, 6000,
       2, 0, 1000, 1000, 1000, 1000, 1000, 0, 0, 2, 6000, 3000, false},
      {"one outage of four readings", 0, {0, 2000, 4000, 6000, 16000, 18000}, 18000,
       5, 0, 2000, 2000, 10000, 10000, 2000, 1, 4, 0, 6000, 0, false},
      {"wrap of the tick counter", 4294966000u, {4294966296u, 4294967096u, 600}, 1000,
       2, 0, 800, 800, 800, 800, 800, 0, 0, 0, 10000, 400, false},
      // Below 60 s a figure is the start of its 10 ms step; min and max stay exact.
      {"10 ms steps", 0, {0, 1234, 2468}, 2468,
       2, 0, 1234, 1230, 1230, 1234, 1234, 0, 0, 0, 10000, 0, false},
      // From 60 s on, the mean of the intervals in the step: exact for a lone one. The period is
      // the 4 s over the 65 readings the intervals are taken to span.
      {"coarse steps", 0, {0, 61234, 122468, 4000000}, 4000000,
       3, 0, 61234, 61234, 3877532, 3877532, 61538, 1, 62, 0, 606, 0, false},
      // Two readings of one poll are no interval; the next is measured from the latest.
      {"same poll", 0, {0, 3, 1000, 1002, 2000}, 2000,
       2, 2, 997, 990, 990, 998, 998, 0, 0, 0, 10000, 0, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(4, c.start);
    for (std::uint32_t tick : c.ticks) Read(1, tick);
    const SensorFigures f = ledger_.Figures(1, c.now);
    const SensorTally& t = f.tally;
    EXPECT_EQ(t.frames, c.ticks.size());
    EXPECT_EQ(t.first_seen.tick, c.ticks.front());
    EXPECT_EQ(t.last_seen.tick, c.ticks.back());
    EXPECT_EQ(
        std::vector<std::uint64_t>({t.intervals, t.same_poll, t.interval_min_ms,
                                    f.interval_median_ms, f.interval_p95_ms, t.interval_max_ms}),
        std::vector<std::uint64_t>({c.intervals, c.same_poll, c.min, c.median, c.p95, c.max}));
    EXPECT_EQ(std::vector<std::uint64_t>({f.period_ms, f.gaps, f.missed, f.missed_open}),
              std::vector<std::uint64_t>({c.period, c.gaps, c.missed, c.missed_open}));
    EXPECT_TRUE(f.has_delivery);
    EXPECT_EQ(f.delivery_hundredths, c.delivery);
    EXPECT_EQ(f.age_ms, c.age);
    EXPECT_EQ(f.silent, c.silent);
  }
}

TEST(IntervalArithmetic, GapsAndSharesRoundHalfwayUpFromTheIntegers) {
  // A gap passes 1.5 periods by more than a poll (200 ms).
  const std::uint64_t gaps[][3] = {{1700, 1000, 0}, {1701, 1000, 1}, {2499, 1000, 1},
                                   {2500, 1000, 2}, {1000, 0, 0},    {5000, 2000, 2},
                                   {350, 100, 0},   {351, 100, 3}};
  for (const auto& g : gaps) EXPECT_EQ(MissedInGap(g[0], g[1]), g[2]) << g[0] << "/" << g[1];
  const std::uint64_t shares[][3] = {{8, 11, 7273}, {1, 20000, 1}, {1, 20001, 0}, {5, 5, 10000}};
  for (const auto& s : shares) {
    EXPECT_EQ(HundredthsOfPercent(s[0], s[1]), static_cast<int>(s[2])) << s[0] << "/" << s[1];
  }
}

TEST_F(LedgerTest, WithoutAMedianSilenceComesTenSecondsAfterTheLatestReadingOrTheStart) {
  Start(4, 5000);
  Read(2, 6000);
  EXPECT_FALSE(ledger_.Figures(2, 16000).silent);
  EXPECT_TRUE(ledger_.Figures(2, 16001).silent);
  EXPECT_FALSE(ledger_.Figures(2, 16001).has_delivery);
  // Sensor 3 of the count was never heard: its age runs from the run's start.
  EXPECT_FALSE(ledger_.Figures(3, 15000).silent);
  EXPECT_TRUE(ledger_.Figures(3, 15001).silent);
  EXPECT_EQ(ledger_.Figures(3, 15001).age_ms, 10001u);
  // Beyond the count and never heard: not watched, so neither silent nor aged.
  EXPECT_FALSE(ledger_.Figures(9, 99000).silent || ledger_.Figures(9, 99000).has_age);
}

TEST_F(LedgerTest, ValuesKeepExtremesAndLastAndCountTheMissingAndImplausible) {
  Start(4);
  const int temps[] = {320, kNone, -640, -641, 2001, 2000};  // -40 and +125 are plausible
  const int hums[] = {456, 1000, kNone, 1001, 0, 65535};     // and so is 100.0 %
  for (int i = 0; i < 6; ++i) Read(0, 1000u * static_cast<unsigned>(i), temps[i], hums[i]);
  const SensorTally& t = ledger_.Tally(0);
  EXPECT_EQ(std::vector<int>({t.temperature_min_sixteenths, t.temperature_max_sixteenths,
                              t.temperature_last_sixteenths, t.humidity_min_tenths,
                              t.humidity_max_tenths, t.humidity_last_tenths}),
            std::vector<int>({-641, 2001, 2000, 0, 65535, 65535}));
  EXPECT_EQ(std::vector<std::uint64_t>({t.no_temperature, t.no_humidity, t.implausible_temperatures,
                                        t.implausible_humidities}),
            std::vector<std::uint64_t>({1, 1, 2, 2}));
}

TEST_F(LedgerTest, DamagedAndRefusedFramesGoToTheRowTheirIdByteNames) {
  Start(2);
  Read(0, 100);
  Error(kErrStrayBytes, 3, 200, {1, 2, 3});
  Error(kErrStrayBytes, 20, 210, Bytes(20, 0));
  Error(kErrBadCheck, 0, 300, MakeFrame(5, 0, 0, 0));
  Error(kErrBadCheck, 1, 300, MakeFrame(5, 0, 0, 0));
  Error(kErrBadCheck, 0, 400, MakeFrame(0x85, 0, 0, 0));  // a damaged id of 32 or more
  Error(kErrSensorId, 0, 500, MakeFrame(40, 0, 0, 0));
  Error(kErrSensorId, 1, 600, MakeFrame(200, 0, 0, 0));
  Error(kErrPortRead, 0, 700);
  Error(kErrBufferFull, 0, 800);

  EXPECT_EQ(ledger_.Tally(5).bad_checks, 2u);
  EXPECT_EQ(ledger_.Tally(5).frames, 0u);
  const SensorTally& refused = ledger_.Tally(kRefusedRow);
  EXPECT_EQ(std::vector<std::uint64_t>({refused.bad_checks, refused.frames, refused.first_seen.tick,
                                        refused.last_seen.tick}),
            std::vector<std::uint64_t>({1, 2, 500, 600}));
  const RunFacts& run = ledger_.Run();
  EXPECT_EQ(std::vector<std::uint64_t>(run.errors + 1, run.errors + 6),
            std::vector<std::uint64_t>({2, 3, 1, 1, 2}));
  EXPECT_EQ(run.stray_bytes, 23u);
  EXPECT_EQ(run.readings, 1u);

  // Watched: the count's sensors, an id that a damaged frame names, the refused row; so every
  // counted frame is in a watched row. The damaged id beyond the count is never silent.
  std::vector<int> watched;
  for (int row = ledger_.NextWatched(-1); row >= 0; row = ledger_.NextWatched(row)) {
    watched.push_back(row);
  }
  EXPECT_EQ(watched, (std::vector<int>{0, 1, 5, kRefusedRow}));
  EXPECT_FALSE(ledger_.Figures(5, 60000).silent);
  EXPECT_TRUE(ledger_.Figures(1, 60000).silent);
  EXPECT_FALSE(ledger_.Figures(kRefusedRow, 60000).silent);
}

TEST_F(LedgerTest, TheSequenceByteCountsLossesAndDuplicatesAcrossItsWrap) {
  struct Case {
    const char* name;
    std::vector<int> sequence;
    std::uint64_t lost, duplicates;
    int delivery;
  };
  const Case cases[] = {
      {"in order", {0, 1, 2, 3}, 0, 0, 10000},
      {"one lost", {0, 1, 3}, 1, 0, 7500},
      {"wrap", {254, 255, 0, 1}, 0, 0, 10000},
      {"loss across the wrap", {254, 1}, 2, 0, 5000},
      {"duplicate then loss", {7, 7, 9, 9, 10}, 1, 2, 7500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(4);
    std::uint32_t tick = 0;
    for (int s : c.sequence) Read(3, tick += 1000, 0, 0, s);
    const SensorFigures f = ledger_.Figures(3, tick);
    EXPECT_EQ(f.tally.sequence_lost, c.lost);
    EXPECT_EQ(f.tally.sequence_duplicates, c.duplicates);
    EXPECT_TRUE(f.has_sequence_delivery);
    EXPECT_EQ(f.sequence_delivery_hundredths, c.delivery);
  }
}

// What happens to sensor 1 in a run: readings (its count in the extra byte is the tick they
// were sent at in steps of step_ms), the port lost and back, a poll that came late.
struct Happening {
  enum Kind { kReadings, kLost, kBack, kStall } kind;
  std::uint32_t from = 0;  // the readings' first tick, or the event's tick
  std::uint32_t to = 0;    // the readings' last
  std::uint32_t step_ms = 1000;
  std::uint32_t taken_at = 0;  // readings a stall held back: the late poll's tick; else 0
  std::uint32_t late_ms = 0;   // a stall
};
using Story = std::vector<Happening>;

Happening Readings(std::uint32_t from, std::uint32_t to, std::uint32_t step_ms = 1000) {
  return {Happening::kReadings, from, to, step_ms};
}
Happening At(Happening::Kind kind, std::uint32_t tick, std::uint32_t late_ms = 0) {
  return {kind, tick, 0, 0, 0, late_ms};
}
// Readings sent at from..to that waited for the late poll at taken_at.
Happening HeldBack(std::uint32_t from, std::uint32_t to, std::uint32_t taken_at,
                   std::uint32_t step_ms = 1000) {
  return {Happening::kReadings, from, to, step_ms, taken_at};
}

TEST_F(LedgerTest, WhatTheMonitorCouldNotSeeIsNotTheSensors) {
  struct Case {
    const char* name;
    Story story;
    std::uint32_t now;
    // missed, missed_open, missed_outages, delivery, silent, sequence_lost,
    // sequence_lost_outages, sequence_wrap_gaps
    std::vector<std::uint64_t> want;
  };
  using H = Happening;
  const Case cases[] = {
      {"during a 5 s outage",
       {Readings(1000, 10000), At(H::kLost, 10500)},
       15000,
       {0, 0, 4, 10000, 0, 0, 0, 0}},
      {"after it",
       {Readings(1000, 10000), At(H::kLost, 10500), At(H::kBack, 15500), Readings(16000, 20000)},
       20000,
       {0, 0, 5, 10000, 0, 0, 5, 0}},
      // Silent 3 s after the monitor reads again; what it misses from then on is its own.
      {"a sensor that stays away after it",
       {Readings(1000, 10000), At(H::kLost, 10500), At(H::kBack, 15500)},
       19000,
       {0, 3, 5, 7692, 1, 0, 0, 0}},
      {"back a minute after it",
       {Readings(1000, 10000), At(H::kLost, 10500), At(H::kBack, 15500), Readings(75000, 80000)},
       80000,
       {59, 0, 5, 2133, 0, 0, 64, 0}},
      // Three readings wait out a 3 s stall and come with the late poll.
      {"a stall that lost nothing",
       {Readings(1000, 10000), At(H::kStall, 13200, 3000), HeldBack(11000, 13000, 13200),
        Readings(14000, 20000)},
       20000,
       {0, 0, 0, 10000, 0, 0, 0, 0}},
      {"a stall that lost two",
       {Readings(1000, 10000), At(H::kStall, 13200, 3000), HeldBack(13000, 13000, 13200),
        Readings(14000, 20000)},
       20000,
       {0, 0, 2, 10000, 0, 0, 2, 0}},
      // 300 readings apart: the count moved by 44, a turn of 256 more by the gap's length.
      {"a gap that hides a turn of the count",
       {Readings(1000, 20000), Readings(320000, 321000)},
       321000,
       {299, 0, 0, 685, 0, 299, 0, 1}},
      // Ten readings a second; the first ten of a 30 s stall wait for the late poll, the rest
      // of it is lost.
      {"a 30 s stall at ten readings a second",
       {Readings(0, 2000, 100), At(H::kStall, 32000, 30000), HeldBack(2100, 3000, 32000, 100),
        Readings(32200, 40000, 100)},
       40000,
       {0, 0, 291, 10000, 0, 0, 291, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(4);
    for (const Happening& h : c.story) {
      PortEvent port;
      port.tick = h.from;
      StallEvent stall;
      stall.tick = h.from;
      stall.late_ms = h.late_ms;
      switch (h.kind) {
        case H::kReadings:
          for (std::uint32_t t = h.from; t <= h.to; t += h.step_ms) {
            Read(1, h.taken_at != 0 ? h.taken_at : t, 0, 0, static_cast<int>(t / h.step_ms % 256));
          }
          break;
        case H::kLost:
          ledger_.OnPortLost(port);
          break;
        case H::kBack:
          ledger_.OnPortBack(port);
          break;
        case H::kStall:
          ledger_.OnMonitorStall(stall);
          break;
      }
    }
    const SensorFigures f = ledger_.Figures(1, c.now);
    EXPECT_EQ(std::vector<std::uint64_t>({f.missed, f.missed_open, f.missed_outages,
                                          static_cast<std::uint64_t>(f.delivery_hundredths),
                                          f.silent, f.tally.sequence_lost, f.sequence_lost_outages,
                                          f.sequence_wrap_gaps}),
              c.want);
    EXPECT_EQ(ledger_.RunFiguresAt(c.now).missed_outages, c.want[2]);
  }
}

TEST_F(LedgerTest, ARunStartClearsAndAnEndedRunStaysAsItWasAtItsEnd) {
  Start(4, 1000);
  Read(0, 2000);
  Read(0, 3000);
  PortEvent port;
  port.tick = 4000;
  ledger_.OnPortLost(port);
  ledger_.OnPortLost(port);  // one outage, however often told
  EXPECT_EQ(ledger_.RunFiguresAt(4500).outage_total_ms, 500u);
  port.tick = 5000;
  ledger_.OnPortBack(port);
  port.tick = 6000;
  ledger_.OnPortLost(port);
  port.tick = 6250;
  ledger_.OnPortBack(port);
  ledger_.OnRunStopped(10000);
  ledger_.OnRunStopped(12000);  // a second telling changes nothing

  // Long after the end, the figures are those of the end.
  LedgerSnapshot s;
  ledger_.Snapshot(500000, s);
  EXPECT_FALSE(s.run.facts.active);
  EXPECT_TRUE(s.run.facts.port_up);
  EXPECT_EQ(std::vector<std::uint64_t>({s.at_tick, s.run.duration_ms, s.run.facts.outages,
                                        s.run.outage_total_ms, s.rows[0].age_ms}),
            std::vector<std::uint64_t>({10000, 9000, 2, 1250, 7000}));
  // Silent: sensor 0, 3.75 s after the port answered again (> 3 x 1 s); 1 to 3 never came, but
  // the run ended before 10 s had passed.
  EXPECT_EQ(std::make_pair(s.run.watched, s.run.silent), std::make_pair(4, 1));

  Start(2, 20000);
  EXPECT_EQ(ledger_.Tally(0).frames, 0u);
  EXPECT_EQ(ledger_.Run().outages, 0u);
  EXPECT_TRUE(ledger_.Run().active);
  EXPECT_FALSE(ledger_.Watched(3));
}

TEST_F(LedgerTest, NoEventAndNoFigureAllocates) {
  Start(32);
  std::vector<Bytes> frames;
  for (int id = 0; id < 40; ++id)
    frames.push_back(MakeFrame(static_cast<std::uint8_t>(id), 0, 0, 0));
  static LedgerSnapshot snapshot;
  ReadingEvent r;
  ErrorEvent e;
  e.byte_count = kFrameSize;
  StartCountingAllocations();
  for (int i = 0; i < 20000; ++i) {
    r.sensor_id = i % 32;
    r.tick = static_cast<std::uint32_t>(i) * 37u;
    r.frame = frames[static_cast<std::size_t>(r.sensor_id)].data();
    ledger_.OnReading(r);
    e.code = i % 2 == 0 ? kErrBadCheck : kErrSensorId;
    e.bytes = frames[static_cast<std::size_t>(i % 40)].data();
    if (i % 7 == 0) ledger_.OnError(e);
    if (i % 5000 == 0) ledger_.Snapshot(r.tick, snapshot);
  }
  ledger_.OnRunStopped(r.tick);
  ledger_.Snapshot(r.tick, snapshot);
  ledger_.OnRunStarted();
  EXPECT_EQ(StopCountingAllocations().counted, 0);
  EXPECT_EQ(snapshot.rows[31].tally.intervals, 20000u / 32 - 1);
}

// Told by the monitor: with 12 sensors the readings carry no interval, and the ledger times them
// from their ticks.
class LedgerFedByTheMonitor : public CoreTest {
 protected:
  LedgerFedByTheMonitor() {
    sensors_ = 12;
    listener_ = &ledger_;
  }
  Ledger ledger_{&clock_};
};

TEST_F(LedgerFedByTheMonitor, ReadingsDamagedAndRefusedFramesOfARun) {
  for (int k = 0; k < 6; ++k) {
    port_.Arrive(MakeFrame(7, static_cast<std::uint8_t>(k), 0x0100, 0x0200));
    Run(1000);
  }
  Bytes damaged = MakeFrame(7, 6, 0x0100, 0x0200);
  damaged[7] ^= 0x01;
  port_.Arrive(Concat({damaged, MakeFrame(40, 0, 0, 0)}));
  Run(1000);
  Command(CMD_STOP);

  const SensorFigures f = ledger_.Figures(7, clock_.TickCount() + 100000);
  EXPECT_EQ(std::vector<std::uint64_t>({f.tally.frames, f.tally.intervals, f.tally.bad_checks,
                                        ledger_.Tally(kRefusedRow).frames,
                                        ledger_.Run().errors[kErrBadCheck]}),
            std::vector<std::uint64_t>({6, 5, 1, 1, 1}));
  EXPECT_GE(f.tally.interval_min_ms, 800u);  // polls fall where they fall within the second
  EXPECT_LE(f.tally.interval_max_ms, 1300u);
  EXPECT_EQ(f.tally.humidity_last_tenths, 0x0200);
  EXPECT_FALSE(ledger_.Run().active);
  EXPECT_LT(f.age_ms, 2500u);  // measured at the end, not 100 s later
  EXPECT_FALSE(f.silent);
  int watched = 0;
  for (int row = ledger_.NextWatched(-1); row >= 0; row = ledger_.NextWatched(row)) ++watched;
  EXPECT_EQ(watched, 12 + 1);
}

}  // namespace
