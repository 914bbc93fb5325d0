// The system's words for one of its error codes, for messages to the user.
#pragma once

#include <string>

// Without the line end and full stop that the system puts at the end; "error N" when it has none.
std::string SystemErrorText(unsigned long error);
