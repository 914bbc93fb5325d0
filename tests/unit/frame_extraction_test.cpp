// Frame extraction must behave exactly as consuming the buffer from its front one frame or one
// stray byte at a time; the reference below does just that, the slow way.
#include "reception/frame_extraction.h"
#include "support/fixture.h"

namespace {

struct Cut {
  std::vector<Bytes> frames;
  Bytes status;
  Bytes strays;
  Bytes tail;
};

Cut ReferenceCut(Bytes rx) {
  Cut cut;
  while (rx.size() >= 9) {
    if (rx[0] == 0xCC && rx[8] == 0xDD) {
      int sum = 0;
      for (int i = 1; i <= 7; ++i) sum += rx[static_cast<std::size_t>(i)];
      cut.status.push_back(sum % 256 == 0 ? 1 : 255);
      cut.frames.emplace_back(rx.begin(), rx.begin() + 9);
      rx.erase(rx.begin(), rx.begin() + 9);
    } else {
      cut.strays.push_back(rx[0]);
      rx.erase(rx.begin());
    }
  }
  cut.tail = rx;
  return cut;
}

class FrameExtractionTest : public CoreTest {
 protected:
  // Runs ExtractFrames on bytes and checks every output against the reference.
  void ExpectLikeReference(const Bytes& bytes) {
    const Cut want = ReferenceCut(bytes);
    FillRx(bytes);
    g_state.read_buffer[0] = 9;
    const int purges = port_.PurgeCalls();
    const int strays = ExtractFrames();
    // Only an echoing receiver's port is purged; a plain one keeps what is queued.
    EXPECT_EQ(port_.PurgeCalls(), purges + (g_state.rx_skip != 0 ? 1 : 0));
    EXPECT_EQ(g_state.read_buffer[0], 0);
    ASSERT_EQ(strays, static_cast<int>(want.strays.size()));
    EXPECT_EQ(Bytes(g_state.stray_bytes, g_state.stray_bytes + strays), want.strays);
    ASSERT_EQ(g_state.frame_count, want.frames.size());
    for (std::size_t k = 0; k < want.frames.size(); ++k) {
      EXPECT_EQ(Bytes(g_state.frame_table[k], g_state.frame_table[k] + 9), want.frames[k]) << k;
      EXPECT_EQ(g_state.frame_status[k], want.status[k]) << k;
    }
    EXPECT_EQ(Rx(), want.tail);
  }
};

TEST_F(FrameExtractionTest, StrayBytesAroundFramesAndFramesThatFailTheirCheck) {
  Bytes bad = ExampleFrame();
  bad[7] = 0x87;
  // 0xCC whose ninth byte is no 0xDD is one stray byte; the frame after it is still found.
  const Bytes false_start = {0xCC, 1, 2, 3, 4, 5, 6, 7};
  const Bytes sums_to_256 = {0xCC, 0x80, 0x80, 0, 0, 0, 0, 0, 0xDD};
  const Bytes input = Concat({{0x11, 0x22, 0x33},
                              ExampleFrame(),
                              {0x44},
                              bad,
                              false_start,
                              ExampleFrame(),
                              sums_to_256,
                              {0xCC, 0x05}});
  FillRx(input);
  EXPECT_EQ(ExtractFrames(), 3 + 1 + 8);
  EXPECT_EQ(Bytes(g_state.stray_bytes, g_state.stray_bytes + 12),
            Concat({{0x11, 0x22, 0x33, 0x44}, false_start}));
  ASSERT_EQ(g_state.frame_count, 4);
  EXPECT_EQ(Bytes(g_state.frame_table[1], g_state.frame_table[1] + 9), bad);
  EXPECT_EQ(Bytes(g_state.frame_status, g_state.frame_status + 4), Bytes({1, 255, 1, 1}));
  EXPECT_EQ(Rx(), Bytes({0xCC, 0x05}));
  ExpectLikeReference(input);

  // Fewer than nine bytes stay as they are, and an echoing receiver's port is still purged.
  g_state.rx_skip = 5;
  for (int n = 0; n <= 8; ++n) ExpectLikeReference(Bytes(input.begin() + 3, input.begin() + 3 + n));
}

TEST_F(FrameExtractionTest, FullBufferOfFramesLeavesTheLastFiveBytes) {
  Bytes input;
  for (int i = 0; i < 35; ++i)
    input = Concat({input, MakeFrame(static_cast<std::uint8_t>(i), 0, 0, 0)});
  input.insert(input.end(), {0xCC, 0x01, 0x02, 0x03, 0x04});
  ASSERT_EQ(input.size(), 320u);
  ExpectLikeReference(input);

  // A stray byte in front shifts everything by one; the rest still comes out intact.
  input.insert(input.begin(), 0x00);
  input.pop_back();
  ExpectLikeReference(input);
}

TEST_F(FrameExtractionTest, AgreesWithConsumingOneStepAtATimeOnRandomStreams) {
  StreamSource source(20060404);
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    ExpectLikeReference(source.Stream(source.Next(321)));
  }
}

}  // namespace
