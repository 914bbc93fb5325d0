// The /metrics page: the ledger's figures in the Prometheus text format (version 0.0.4). Base
// units (seconds, degrees Celsius, humidity as a ratio from 0 to 1), "_total" on counters, a
// HELP and a TYPE line per family. A value the monitor does not have (a sensor without a
// temperature yet) is left out rather than given as 0. Counters start from 0 at each run's
// start, which Prometheus takes as a counter reset.
#pragma once

#include <cstdint>
#include <string>

#include "outputs/network/snapshot_board.h"

// How the network outputs themselves fare, for the same page.
struct OutputHealth {
  bool http = false;
  int events_clients = 0;  // /events readers now
  std::uint64_t events_clients_dropped = 0;
  bool mqtt = false;
  bool mqtt_connected = false;
  std::uint64_t mqtt_published = 0;
  std::uint64_t mqtt_dropped = 0;
};

std::string PrometheusText(const NetworkSnapshot& snapshot, const OutputHealth& health);
