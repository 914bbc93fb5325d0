// The main window's own behaviour, written once for every platform: the platform's window
// procedure calls these on the matching messages.
#pragma once

#include "app/handles.h"

// Window creation: screen check, configuration, menu state, panels, boxes, measuring.
void CreationSequence(WindowHandle hwnd);

// Any resize puts the window back at its creation rectangle.
void ResizeSequence(WindowHandle hwnd);

// On the close and on the destroy message alike: close the link, stop the timer, save the
// configuration, end the message loop.
void ShutdownSequence(WindowHandle hwnd);
