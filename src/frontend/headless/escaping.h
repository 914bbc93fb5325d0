// Text from outside the monitor (commands as read, device paths, list box lines, the simulated
// receiver's report) made safe to print: what comes out is valid UTF-8 without any control
// character, so that no input can cut an output line, break its encoding or reach the
// operator's terminal as an escape sequence.
#pragma once

#include <string>

// The text with a backslash written as \\, and every byte of a C0 or C1 control character
// (DEL included) and every byte that is no part of well-formed UTF-8 as \xNN (two upper-case
// hex digits). Everything else, UTF-8 text in any script, stays as it is.
std::string Escaped(const std::string& text);

// The same in double quotes, with a double quote inside written as \".
std::string Quoted(const std::string& text);
