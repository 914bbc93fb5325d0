// How the Linux program ends on a signal. Every front end installs these handlers and watches
// for a request in its one event loop (the self-pipe's descriptor wakes a poll(2) at once):
//
//   SIGINT (Ctrl-C)                   the exit command: the run ends without an export, the
//                                     configuration is saved
//   SIGTERM, SIGHUP, SIGQUIT          the operator did not choose to end the run, so a run in
//                                     progress with saving on is stopped first (and exported),
//                                     then the exit command
//   SIGUSR1, SIGUSR2, SIGPIPE         ignored
//
// A second request of the same kind changes nothing; the strongest one received is kept.
#pragma once

#include "platform/memory/stop_request.h"

// Installs the handlers, without SA_RESTART, so that a blocking wait ends at once.
void InstallStopSignals();

// The request received since the last call (kNone if none), cleared by the call.
StopRequest TakeStopRequest();

// True when a request is waiting (not cleared). Safe anywhere.
bool StopRequested();

// The read end of the self-pipe: readable while a request is waiting. -1 before installing.
int StopSignalDescriptor();

// A function to run when the program dies of a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT), before the signal's default action: a front end that changed the terminal puts it
// back. It must be async-signal-safe. nullptr removes it.
void SetFatalSignalCleanup(void (*cleanup)());
