// Moving the bytes that wait at the port into the accumulation buffer.
#pragma once

// Result of ReceiveStep.
constexpr int kReceiveFrameReady = 1;   // bytes appended, rx_length is 9 or more
constexpr int kReceiveNothing = 0;      // nothing read, or still fewer than 9 bytes
constexpr int kReceiveReadFailed = -1;  // the port refused the read
constexpr int kReceiveOverflow = -2;    // the bytes read would not fit into rx_buffer

// The first read of a poll: waits 30 ms once more than rx_skip bytes are queued, then reads
// them and up to 10 more that come meanwhile, no more than read_buffer holds and rx_buffer can
// take.
int ReceiveStep();

// A further read of the same poll, for a plain receiver that has sent more than one read could
// take: reads, without a pause, what is queued now when that is at least a frame's worth
// (kReceiveNothing otherwise), within the same bounds.
int ReceiveMore();

// What ReceiveStep does once its read returned n (the bytes read being at the front of
// read_buffer, n at most its size, or -1 for a refused read): appends them to rx_buffer and
// returns the result of the step.
int AcceptRead(int n);
