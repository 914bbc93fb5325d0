// Cutting the accumulation buffer into frames and stray bytes.
#pragma once

// Cuts every frame at the front of rx_buffer into frame_table (with its verdict in frame_status),
// sets aside stray bytes, leaves a tail of fewer than 9 bytes, and ends the use of the read
// (FinishRead: an echoing receiver's port is purged). Returns the number of stray bytes dropped.
int ExtractFrames();
