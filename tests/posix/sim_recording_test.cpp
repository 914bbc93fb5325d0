// The simulated receiver and recordings: the traffic written straight into a recording holds
// every byte the receiver would have sent, in reads a monitor polling every 200 ms makes, and a
// recording played onto a line sends those bytes again.
#include <signal.h>

#include "platform/posix/posix_file_store.h"
#include "recording/recording_reader.h"
#include "sim/sim_options.h"
#include "sim/traffic.h"
#include "support.h"

namespace {

TEST(SimRecordingTest, AWrittenRecordingHoldsTheTrafficAndAReplaySendsItAgain) {
  ScratchDirectory dir;
  const std::string file = dir.File("traffic.rec");
  const std::vector<std::string> traffic = {"--sensors", "8",   "--interval", "150",
                                            "--stray",   "0.2", "--burst",    "0.2",
                                            "--split",   "0.2", "--seed",     "5"};
  std::vector<std::string> args = traffic;
  args.insert(args.end(), {"--seconds", "20", "--baud", "38400", "--write-recording", file});
  Program writer(WSMON_SIM_PATH, args);
  ASSERT_EQ(writer.Finish(), 0);

  // The bytes the same options and seed make, sent whole.
  SimOptions options;
  std::vector<char*> argv = {const_cast<char*>("wsmon-sim")};
  args.resize(traffic.size() + 4);
  for (std::string& w : args) argv.push_back(w.data());
  std::string error;
  ASSERT_TRUE(ParseSimOptions(static_cast<int>(argv.size()), argv.data(), &options, &error));
  Bytes sent;
  Traffic schedule(options);
  for (Transmission t; schedule.Next(&t);) sent.insert(sent.end(), t.bytes.begin(), t.bytes.end());

  PosixFileStore files;
  RecordingReader reader;
  ASSERT_TRUE(reader.Open(&files, file, &error)) << error;
  Bytes read;
  std::uint32_t last_poll = 0;
  bool first_read_of_poll = false;
  for (Record r; reader.Next(&r);) {
    if (r.kind == RecordKind::kPoll) {
      if (last_poll != 0) {
        EXPECT_EQ((r.tick - last_poll) % 200, 0u) << r.tick;
      }
      last_poll = r.tick;
      first_read_of_poll = true;
    }
    if (r.kind == RecordKind::kRead) {
      ASSERT_EQ(r.number, static_cast<std::int64_t>(r.bytes.size()));
      // After a poll's first read the monitor reads on only for a frame's worth or more.
      if (!first_read_of_poll) {
        EXPECT_GE(r.bytes.size(), 9u);
      }
      EXPECT_LE(r.bytes.size(), 300u);
      first_read_of_poll = false;
      read.insert(read.end(), r.bytes.begin(), r.bytes.end());
    }
  }
  EXPECT_TRUE(reader.closed()) << reader.Ending();
  EXPECT_EQ(read, sent);

  // Played onto a pseudo-terminal as fast as the line goes once the probe has come, read back
  // by a plain reader.
  Program player(WSMON_SIM_PATH, {"--replay", file, "--speed", "max", "--baud", "38400",
                                  "--wait-probe", "--linger", "60000"});
  ASSERT_TRUE(player.WaitFor([](const std::string& l) { return l.rfind("/dev/", 0) == 0; }));
  ComPortMap map;
  map.Set(1, player.lines().front());
  PosixSerialPort line(map);
  const PortHandle h = line.Open(1);
  ASSERT_NE(h, kInvalidPort);
  ASSERT_EQ(line.SetBaud(h, 38400), 1);
  const std::uint8_t probe[] = {0x41, 0x42, 0x43};
  ASSERT_EQ(line.WritePlain(h, probe, 3), 3);
  Bytes received;
  ASSERT_TRUE(WaitUntil(
      [&] {
        std::uint8_t chunk[1024];
        const int n = line.Read(h, chunk, sizeof chunk);
        if (n > 0) received.insert(received.end(), chunk, chunk + n);
        return received.size() >= read.size();
      },
      60000, 1));
  line.Close(h);
  player.Signal(SIGTERM);
  EXPECT_EQ(player.Finish(), 0);
  EXPECT_EQ(received, read);
  EXPECT_THAT(player.lines(), Contains("bytes " + std::to_string(read.size())));
}

}  // namespace
