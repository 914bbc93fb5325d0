#pragma once

#include <string>

// wsmon --recover [DIR]: turns the journals of runs in DIR that never reached their stop into
// their exports, as every start of the monitor does, and says what it did. Exit status: 0 when
// every such run was recovered (or there was none), 1 otherwise.
int RunRecover(const std::string& directory);
