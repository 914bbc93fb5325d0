// A port that stops answering during a run: a receiver's USB adapter unplugged or reset, the far
// end of a line gone. The run goes on through the outage: one error line tells it, the port is
// let go and opened again at every poll until the device is back, and reading resumes in the
// same run, its counters, panels and intervals going on.
#pragma once

// The poll found the port refusing its waiting count or a read. The first time in an outage:
// the ERR3 line (counted and beeped as any error line), the handle let go, the frame begun
// before dropped, and a listening front end told. Polls of the same outage add nothing.
void NotePortLost();

// At a poll: 1 when the port answers (there was no outage, or the device is back now, which a
// listening front end is told with the outage's length), 0 while it is still away.
int PortAnswers();
