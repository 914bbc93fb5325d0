// The reference part of wsmon --help, after the options and the headless commands: the keys of
// the terminal monitor, what a panel line and an error log line hold, the files and the
// environment. The manual page is made from --help, so these are its sections too.
#pragma once

extern const char kUsageReference[];
