// The good and bad counters, the error ratio and the error log.
#pragma once

#include <climits>

// Raises a count by one. A count stops at the largest value it can hold rather than wrap: a
// monitor left running for years must not show a negative count.
inline void CountUp(int& count) {
  if (count < INT_MAX) ++count;
}

void CountGoodFrame();
void CountBadFrame();

// Error codes of the error log.
constexpr int kErrStrayBytes = 1;
constexpr int kErrBadCheck = 2;
constexpr int kErrPortRead = 3;
constexpr int kErrBufferFull = 4;
constexpr int kErrSensorId = 5;

void LogError(int code, int arg);
