// The serial link: the one port that the monitor state describes, opened at the configured
// port number and baud rate, probed, purged and closed.
#pragma once

#include <cstdint>

#include "app/handles.h"

// Opens COM<port_number> at BaudRates[baud_index]. 1 when the port is open and set (port_open
// is then 1), 0 when it is not (nothing is left open).
int OpenLink();

// Closes the link; port_open becomes 0 and an outage ends. Harmless when the port was never
// opened or is closed already: a handle that is not open is never purged or closed.
void CloseLink();

// Lets the handle of a port that stopped answering go: it is closed and forgotten, while the
// link stays open (port_open stays 1) so that ReopenLink can bring the port back. Bytes of a
// frame begun before the loss are dropped, so that they are never joined to bytes after it.
void ReleaseLink();

// Tries to open the released port again with the port number and rate of the latest OpenLink;
// the probe is not repeated (rx_skip stays). 1 when the port opened and has told its waiting
// count; 0 when it is still away, nothing being left open: a device that opens and then fails
// at once (a driver that keeps the name of a removed device) has not come back.
int ReopenLink();

// Sends the probe "ABC" and sets rx_skip: 5 when the receiver echoed it, else 0.
void ProbeLink();

// Empties both queues of the open port and zero-fills read_buffer.
void ResetPort();

// Ends the use of a read's bytes: zero-fills read_buffer and, for an echoing receiver only,
// empties the port's queues (ResetPort). Such a receiver begins every block with rx_skip bytes
// of its own, so each read has to start where a block starts. A plain receiver sends readings
// alone: the bytes queued behind a read are kept for the next one.
void FinishRead();

// Sets os_family from the platform's family: 98 for the 95/98 family, 40 for the NT family;
// any other answer leaves it as it was. Runs at every open.
void DetectOsFamily();

// Writes by the path that os_family selects; bytes written or -1.
int WritePort(PortHandle port, const std::uint8_t* src, std::uint32_t count);
