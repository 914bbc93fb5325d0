// What the operator asked for when the monitor is to end from outside its menu: the exit command
// alone (the run ends without an export), or first the stop of a run that would be exported,
// since the operator did not choose to end that run.
#pragma once

enum class StopRequest { kNone = 0, kExit = 1, kStopThenExit = 2 };
