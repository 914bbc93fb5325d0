// The simulated receiver's traffic, the oracle of the capture and ledger tests: the same options
// and seed give the same bytes, every fault shows in the bytes themselves as often as the summary
// says, and the line's pace never runs ahead of its baud rate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>

#include "app/monitor_state.h"
#include "sim/line_pace.h"
#include "sim/traffic.h"

namespace {

std::vector<Transmission> Schedule(const SimOptions& options) {
  std::vector<Transmission> all;
  Traffic traffic(options);
  for (Transmission t; traffic.Next(&t);) all.push_back(t);
  return all;
}

// The summary of a schedule whose every byte the line took.
Summary Sent(const SimOptions& options, const std::vector<Transmission>& schedule) {
  Summary summary(options.ids);
  for (const Transmission& t : schedule) {
    summary.Count(t, std::vector<std::uint8_t>(t.bytes.size(), kByteSent));
  }
  return summary;
}

// The summary's figures worked out again from the bytes alone, as a reader of the line would.
Summary Read(const SimOptions& options, const std::vector<Transmission>& schedule) {
  Summary read(options.ids);
  std::map<int, int> last_count;  // each sensor's extra byte in its latest good frame
  for (const Transmission& t : schedule) {
    bool stray = false;
    int readings = 0;  // frames of the network's own sensors
    for (std::size_t i = 0; i < t.bytes.size();) {
      if (t.bytes[i] != 0xCC) {  // stray bytes never hold a start mark
        ++read.stray_bytes;
        stray = true;
        ++i;
        continue;
      }
      const std::uint8_t* f = &t.bytes[i];
      const bool split = t.parts.size() > 1 && t.parts[0].end > i && t.parts[0].end < i + 9;
      read.split += split ? 1 : 0;
      i += kFrameSize;
      ++read.frames;
      read.missing_temp += f[3] == 0xFF && f[4] == 0xFF;
      read.missing_hum += f[5] == 0xFF && f[6] == 0xFF;
      int sum = 0;
      for (int k = 1; k <= 7; ++k) sum += f[k];
      readings += f[1] < kSensorIdLimit;
      if (f[1] >= kSensorIdLimit) {
        ++read.high_id;
      } else if (sum % 256 != 0) {
        ++read.bad_check;
      } else {
        const auto s = static_cast<std::size_t>(
            std::find(options.ids.begin(), options.ids.end(), f[1]) - options.ids.begin());
        ++read.sensors[s].frames;
        if (last_count.count(f[1]) != 0) {
          read.sensors[s].sequence_lost += (f[2] - last_count[f[1]] - 1 + 256) % 256;
        }
        last_count[f[1]] = f[2];
      }
    }
    read.stray_runs += stray ? 1 : 0;
    read.bursts += readings > 1 ? 1 : 0;
  }
  return read;
}

SimOptions Options(const std::function<void(SimOptions&)>& change) {
  SimOptions o;
  o.missing_rate = 0;
  o.max_frames = 3000;
  change(o);
  return o;
}

TEST(SimTraffic, TheSameOptionsAndSeedGiveTheSameBytesAndSummaryAnotherSeedOtherBytes) {
  const auto bytes = [](const std::vector<Transmission>& schedule) {
    std::vector<std::uint8_t> all;
    for (const Transmission& t : schedule) all.insert(all.end(), t.bytes.begin(), t.bytes.end());
    return all;
  };
  const SimOptions o = Options([](SimOptions& s) {
    s.seed = 99;
    s.stray_rate = s.bad_check_rate = s.high_id_rate = s.split_rate = s.burst_rate = 0.1;
    s.lose_rate = s.missing_rate = 0.1;
  });
  SimOptions other = o;
  other.seed = 100;
  const std::vector<Transmission> once = Schedule(o);
  const std::vector<Transmission> again = Schedule(o);
  EXPECT_EQ(bytes(once), bytes(again));
  EXPECT_EQ(Sent(o, once).Text(), Sent(o, again).Text());
  EXPECT_NE(bytes(once), bytes(Schedule(other)));
  ASSERT_EQ(once.size(), again.size());
  for (std::size_t i = 0; i < once.size(); ++i) {
    EXPECT_EQ(once[i].due_ms, again[i].due_ms) << i;
    EXPECT_EQ(once[i].parts.size(), again[i].parts.size()) << i;
    if (i > 0) {
      EXPECT_GE(once[i].due_ms, once[i - 1].due_ms) << "out of time order at " << i;
    }
  }
}

TEST(SimTraffic, EveryKindOfFaultShowsInTheBytesAsOftenAsTheSummarySays) {
  using Field = std::uint64_t Summary::*;
  const struct {
    const char* name;
    std::function<void(SimOptions&)> option;
    Field field;  // grows with the option, and stays 0 without it
  } cases[] = {
      {"--stray", [](SimOptions& o) { o.stray_rate = 0.2; }, &Summary::stray_runs},
      {"--bad-check", [](SimOptions& o) { o.bad_check_rate = 0.2; }, &Summary::bad_check},
      {"--high-id", [](SimOptions& o) { o.high_id_rate = 0.2; }, &Summary::high_id},
      {"--missing", [](SimOptions& o) { o.missing_rate = 0.2; }, &Summary::missing_temp},
      {"--split", [](SimOptions& o) { o.split_rate = 0.2; }, &Summary::split},
      {"--burst", [](SimOptions& o) { o.burst_rate = 0.2; }, &Summary::bursts},
      {"--lose", [](SimOptions& o) { o.lose_rate = 0.2; }, nullptr},
  };
  const Field fields[] = {&Summary::frames,      &Summary::high_id,      &Summary::bad_check,
                          &Summary::stray_bytes, &Summary::stray_runs,   &Summary::split,
                          &Summary::bursts,      &Summary::missing_temp, &Summary::missing_hum};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const SimOptions o = Options(c.option);
    const std::vector<Transmission> schedule = Schedule(o);
    const Summary sent = Sent(o, schedule);
    const Summary read = Read(o, schedule);
    for (const Field f : fields) {
      EXPECT_EQ(sent.*f, read.*f);
      if (f != &Summary::frames && f != &Summary::stray_bytes && f != &Summary::missing_hum) {
        EXPECT_EQ(sent.*f > 0, f == c.field) << "a figure that the option does not move";
      }
    }
    std::uint64_t lost = 0;
    for (std::size_t s = 0; s < o.ids.size(); ++s) {
      EXPECT_EQ(sent.sensors[s].frames, read.sensors[s].frames);
      EXPECT_EQ(sent.sensors[s].sequence_lost, read.sensors[s].sequence_lost);
      lost += sent.sensors[s].lost;
    }
    EXPECT_EQ(lost > 0, c.field == nullptr);
    EXPECT_EQ(sent.bytes, sent.stray_bytes + kFrameSize * sent.frames);
  }
}

TEST(SimTraffic, AFrameWithADroppedByteIsNoReadingAndTheByteCountsAsDropped) {
  const SimOptions o = Options([](SimOptions& s) { s.max_frames = 1; });
  const std::vector<Transmission> schedule = Schedule(o);
  ASSERT_EQ(schedule.size(), 1u);
  std::vector<std::uint8_t> fate(kFrameSize, kByteSent);
  fate[4] = kByteDropped;
  Summary summary(o.ids);
  summary.Count(schedule[0], fate);
  EXPECT_EQ(summary.frames, 0u);
  EXPECT_EQ(summary.bytes, kFrameSize - 1u);
  EXPECT_EQ(summary.dropped_bytes, 1u);
}

TEST(SimPace, EachBaudRateCarriesATenthOfItsRateInBytesASecondAndNeverMore) {
  constexpr std::int64_t kSecond = 1000000000;
  for (const std::uint32_t baud : {9600u, 19200u, 38400u}) {
    SCOPED_TRACE(baud);
    const LinePace pace(baud);
    EXPECT_EQ(pace.BegunBy(-1, 100), 0u);
    EXPECT_EQ(pace.BegunBy(0, 100), 1u);
    EXPECT_EQ(pace.BegunBy(kSecond, 5), 5u);
    for (const std::int64_t seconds : {1, 60, 3600}) {
      const std::size_t line = static_cast<std::size_t>(seconds) * baud / 10;
      const std::size_t begun = pace.BegunBy(seconds * kSecond - 1, SIZE_MAX);
      EXPECT_LE(begun, line) << seconds << " s";
      EXPECT_GE(begun, line - line / 100000 - 1) << seconds << " s";
      EXPECT_GE(pace.FreeAt(0, line), seconds * kSecond);
    }
  }
}

}  // namespace
