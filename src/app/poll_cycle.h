// One tick of the poll timer: receive, extract, count, show, log, re-arm.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/handles.h"

// A poll that comes more than this long after its timer was due, or a read that ends this long
// after it could have, finds that the monitor stood still meanwhile (a stopped process, a
// suspended machine): the front end is told before what was read is handled, since it may have
// waited as long.
constexpr std::uint32_t kMonitorStallMs = 2000;

void PollCycle(WindowHandle hwnd);
// Sets the poll timer for a period from now (the start of a run, the end of each poll cycle).
void ArmPollTimer(WindowHandle hwnd);

// The poll path for one chunk of bytes, as if a single port read had brought them (a read
// brings at most the 1024 bytes of read_buffer; bytes beyond are ignored): appended, cut,
// counted, shown and logged as in PollCycle, but without the port's waiting count, the pause
// and the timer. Returns the receive result. Whatever the bytes, all state stays in bounds.
int PollChunk(const std::uint8_t* bytes, std::size_t count);
