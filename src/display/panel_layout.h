// The grid of sensor panels.
#pragma once

#include "app/handles.h"

// With up to this many sensors the panels grow: a header line at the start of a run, then a line
// per reading. With more, each panel shows only its sensor's latest reading.
constexpr int kMaxSensorsWithGrowingPanels = 9;
// With up to this many the panels are wide enough for the raw bytes of each reading too.
constexpr int kMaxSensorsWithRawBytes = 4;

// Number of panels the grid has for a sensor count (at most 32).
int PanelCountFor(int sensor_count);

// Creates the panels for sensor_count from client_rect; sets panel_boxes and panel_count.
void LayoutPanels(WindowHandle parent, int sensor_count);

// Measures panel_visible_lines and log_visible_lines. 0 on success, 1 to 4 on failure.
int MeasureListBoxes(WindowHandle hwnd);
