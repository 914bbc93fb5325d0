// Turning a good frame into a line in its sensor's panel.
#pragma once

// Shows frame k of frame_table in its sensor's panel. 0 when shown, -1 when its sensor id is
// 32 or more (an ERR5 line is logged instead).
int ShowReading(int k);
