// Moving the bytes that wait at the port into the accumulation buffer.
#pragma once

// Result of ReceiveStep.
constexpr int kReceiveFrameReady = 1;   // bytes appended, rx_length is 9 or more
constexpr int kReceiveNothing = 0;      // nothing read, or still fewer than 9 bytes
constexpr int kReceiveReadFailed = -1;  // the port refused the read
constexpr int kReceiveOverflow = -2;    // the bytes read would not fit into rx_buffer

int ReceiveStep();

// What ReceiveStep does once its read returned n (the bytes read being at the front of
// read_buffer, n at most its size, or -1 for a refused read): appends them to rx_buffer and
// returns the result of the step.
int AcceptRead(int n);
