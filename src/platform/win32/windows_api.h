// The Windows headers as every file of the Windows program includes them. The core's window
// surface has a method named MessageBox, which the headers' macro would rename in some files and
// not in others; the wide function is always called by its own name.
#pragma once

#include <windows.h>

#undef MessageBox
