// The ledger's figures in the forms a person reads: exact texts of the values, the stats lines,
// the sensors file's records, and the terminal's table as wide as the screen allows.
#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/monitor_state.h"
#include "display/counters.h"
#include "frontend/headless/stats_lines.h"
#include "frontend/terminal/ledger_view.h"
#include "ledger/ledger_table.h"
#include "ledger_events.h"
#include "outputs/csv_export.h"
#include "outputs/json_events.h"
#include "outputs/network/prometheus_text.h"
#include "support.h"
#include "support/fakes/manual_clock.h"

namespace {

// A run of 4 sensors, measured at 20 s: sensor 0 reads every second (values at the plausible
// limits), sensor 1 lost every third reading, sensor 2 stopped after 3 s, sensor 3 sent
// nothing; one frame of id 40 and one damaged frame of sensor 1.
class LedgerForms : public ::testing::Test {
 protected:
  explicit LedgerForms(bool sequence = false) : ledger_(&clock_, sequence) {
    ResetMonitorState();
    g_state.sensor_count = 4;
    ledger_.OnRunStarted();
    int sequence_of[3] = {};
    for (std::uint32_t t = 1000; t <= 20000; t += 1000) {
      Read(0, t, t == 2000 ? -641 : 2001, 1001, sequence_of[0]++);
      if (t % 3000 != 0) Read(1, t, 320, 456, sequence_of[1]);
      ++sequence_of[1];
      if (t <= 3000) Read(2, t, -1, 5, sequence_of[2]++);
    }
    Frame(kErrSensorId, MakeFrame(40, 0, 0, 0), 5000);
    Frame(kErrBadCheck, MakeFrame(1, 0, 0, 0), 6000);
    ledger_.Snapshot(20000, snapshot_);
  }
  ~LedgerForms() override { ResetMonitorState(); }

  void Read(int id, std::uint32_t tick, int temp, int hum, int sequence) {
    const Bytes frame =
        MakeFrame(static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(sequence), 0, 0);
    ledger_.OnReading(ReadingOf(frame, tick, temp, hum, clock_.Now()));
  }
  void Frame(int code, const Bytes& bytes, std::uint32_t tick) {
    ledger_.OnError(ErrorOf(code, bytes, tick, clock_.Now()));
  }
  // The value of key in a list of fields, as plain text ("<none>" for no such key).
  static std::string Value(const std::vector<LedgerField>& fields, const std::string& key) {
    for (const LedgerField& f : fields) {
      if (key == f.key) return RecordText(f);
    }
    return "<none>";
  }

  ManualClock clock_;
  Ledger ledger_;
  LedgerSnapshot snapshot_;
};

class LedgerFormsWithSequence : public LedgerForms {
 protected:
  LedgerFormsWithSequence() : LedgerForms(true) {}
};

TEST_F(LedgerForms, ValuesAreExactDecimalsOfTheirIntegersAndEmptyWhereThereIsNone) {
  const std::vector<LedgerField> s0 = SensorFields(snapshot_, 0);
  const std::vector<LedgerField> s2 = SensorFields(snapshot_, 2);
  const std::vector<LedgerField> s3 = SensorFields(snapshot_, 3);
  const std::pair<std::string, std::string> expected[] = {
      {Value(s0, "temperature_min_C"), "-40.0625"},  // below the plausible range
      {Value(s0, "temperature_max_C"), "125.0625"},
      {Value(s0, "humidity_max_RH"), "100.1"},
      {Value(s0, "implausible_temperatures"), "20"},
      {Value(s0, "implausible_humidities"), "20"},
      {Value(s0, "interval_median_ms"), "1000"},
      {Value(s0, "delivery_percent"), "100.00"},
      {Value(s2, "temperature_last_C"), "-0.0625"},
      {Value(s2, "humidity_last_RH"), "0.5"},
      {Value(s2, "silent"), "1"},
      {Value(s2, "age_ms"), "17000"},
      // 3 readings, then 17 s of silence at a median of 1 s: 16 estimated missing.
      {Value(s2, "missed_open"), "16"},
      {Value(s2, "delivery_percent"), "15.79"},
      {Value(s3, "interval_median_ms"), ""},
      {Value(s3, "first_seen"), ""},
      {Value(s3, "age_ms"), "20000"},
      {Value(s0, "sequence_lost"), ""},  // the sequence byte is off
  };
  for (const auto& [got, want] : expected) EXPECT_EQ(got, want);
}

TEST_F(LedgerForms, StatsLinesGiveTheRunEachWatchedSensorAndTheRefusedIds) {
  const std::vector<std::string> lines = StatsLines(snapshot_);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_THAT(lines[0], StartsWith("stats run active=1 start_time=2006-04-04T09:05:00.000 "));
  EXPECT_THAT(lines[0], HasSubstr(" readings=37 ERR1=0 ERR2=1 ERR3=0 ERR4=0 ERR5=1 stray_bytes=0 "
                                  "watched=4 silent=2"));
  EXPECT_THAT(lines[2], StartsWith("stats sensor 1 readings=14 no_temperature=0 no_humidity=0 "
                                   "bad_checks=1 "));
  EXPECT_THAT(lines[4], HasSubstr(" interval_median_ms=- "));
  EXPECT_EQ(lines[5],
            "stats refused frames=1 bad_checks=0 first_seen=2006-04-04T09:05:00.000 "
            "last_seen=2006-04-04T09:05:00.000 age_ms=15000");
  for (const std::string& line : lines) {
    EXPECT_THAT(line, Not(HasSubstr("  ")));
    EXPECT_THAT(line, Not(HasSubstr("= ")));
  }
}

TEST_F(LedgerForms, TheSensorsFileNamesEveryFieldAndTheRefusedRowKeepsOnlyItsOwn) {
  const std::string header = SensorsCsvHeader();
  EXPECT_THAT(header, StartsWith("sensor,readings,no_temperature,no_humidity,bad_checks,"));
  EXPECT_EQ(header.substr(header.size() - 2), "\r\n");
  const auto commas = [](const std::string& s) { return std::count(s.begin(), s.end(), ','); };
  const std::string s3 = SensorsCsvRecord(snapshot_, 3);
  const std::string refused = SensorsCsvRecord(snapshot_, kRefusedRow);
  EXPECT_EQ(commas(s3), commas(header));
  EXPECT_EQ(commas(refused), commas(header));
  EXPECT_THAT(s3, StartsWith("3,0,0,0,0,,,20000,1,"));
  EXPECT_THAT(refused,
              StartsWith("refused,1,,,0,2006-04-04T09:05:00.000,2006-04-04T09:05:00.000,15000,,"));
}

// Each output takes every figure of the table that it shows, by the table's names.
TEST_F(LedgerForms, EveryFigureShowsInEachOfItsOutputsByItsName) {
  const std::string csv = SensorsCsvHeader();
  const nlohmann::json sensor = nlohmann::json::parse(LedgerJson(snapshot_, {}))["sensors"][0];
  NetworkSnapshot network;
  network.ledger = snapshot_;
  const std::string metrics = PrometheusText(network, OutputHealth{});
  const std::string screen = MakeLedgerTable(snapshot_, 1000, false).header + " ";
  for (const LedgerFigure& f : SensorFigureTable()) {
    if (f.key != nullptr) {
      EXPECT_THAT(csv, HasSubstr(std::string(f.key) + (f.key == std::string("sensor") ? "," : "")));
      EXPECT_TRUE(sensor.contains(f.key)) << f.key;
    }
    if (f.metric != nullptr && !f.sequence) {
      EXPECT_THAT(metrics, HasSubstr(std::string("\n# HELP ") + f.metric + " "));
    }
    if (f.header != nullptr && !f.sequence) {
      EXPECT_THAT(screen, HasSubstr(std::string(" ") + f.header + " "));
    }
  }
  for (const LedgerFigure& f : RunFigureTable()) {
    if (f.metric != nullptr) {
      EXPECT_THAT(metrics, HasSubstr(std::string("# HELP ") + f.metric));
    }
  }
}

// Which columns of the table show at a width, and in which order the sensors come.
TEST_F(LedgerForms, TheTableKeepsTheMostTellingColumnsThatFitAndSortsByDelivery) {
  const struct {
    int columns;
    bool by_delivery;
    std::vector<std::string> headers;  // must show
    std::vector<std::string> left_out;
    std::string first_sensors;  // the rows' first words, refused last
  } cases[] = {
      {80,
       false,
       {"id", "readings", "deliv%", "missed", "age s", "bad", "med s"},
       {"RH max"},
       "0 1 2 3 32+"},
      {250,
       true,
       {"min s", "p95 s", "T min", "RH max", "T!", "RH!"},
       {"lost", "seq%"},
       "3 2 1 0 32+"},
      {22, false, {"id", "readings", "deliv%"}, {"missed"}, "0 1 2 3 32+"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.columns);
    const LedgerTable table = MakeLedgerTable(snapshot_, c.columns, c.by_delivery);
    for (const std::string& h : c.headers) {
      EXPECT_THAT(table.header, HasSubstr(" " + h));
    }
    for (const std::string& h : c.left_out) {
      EXPECT_THAT(table.header, Not(HasSubstr(" " + h + " ")));
    }
    std::string first;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
      const std::string& row = table.rows[r];
      EXPECT_LE(static_cast<int>(row.size()), c.columns) << row;
      const std::size_t at = row.find_first_not_of(' ');
      const std::string id = row.substr(at, row.find(' ', at) - at);
      first += (first.empty() ? "" : " ") + id;
      // Sensors 2 and 3 are silent: highlighted wherever they stand.
      EXPECT_EQ(table.silent[r], id == "2" || id == "3") << row;
    }
    EXPECT_EQ(first, c.first_sensors);
  }
}

// A click on a column's header sorts the sensors by its values, either way round.
TEST_F(LedgerForms, ASortByAColumnPutsMissingValuesLastEitherWayRound) {
  const struct {
    const char* header;
    bool descending;
    std::string sensors;  // the rows' ids in order, refused last
  } cases[] = {
      {"readings", false, "3 2 1 0 32+"},
      {"readings", true, "0 1 2 3 32+"},
      // Sensor 3 has no delivery yet, nor any temperature: it comes last either way.
      {"deliv%", false, "2 1 0 3 32+"},
      {"deliv%", true, "0 1 2 3 32+"},
      {"T min", false, "0 2 1 3 32+"},
      // Equal values keep the order they had: by id.
      {"bad", true, "1 0 2 3 32+"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.header) + (c.descending ? " descending" : " ascending"));
    ScreenTable table = MakeScreenTable(snapshot_, false);
    std::size_t column = 0;
    while (column < table.columns.size() && table.columns[column]->header != std::string(c.header))
      ++column;
    ASSERT_LT(column, table.columns.size());
    SortScreenTable(&table, snapshot_, column, c.descending);
    std::string ids;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
      ids += (ids.empty() ? "" : " ") + table.cells[r][0];
      // The cells moved with their row.
      const int row = table.rows[r]->row;
      EXPECT_EQ(table.cells[r][0], row == kRefusedRow ? "32+" : std::to_string(row));
    }
    EXPECT_EQ(ids, c.sensors);
  }
}

// The run's status line (the service's STATUS, the Windows ledger window's status line).
TEST_F(LedgerForms, TheStatusLineTellsTheRunItsSilentSensorsAndALostPort) {
  EXPECT_EQ(RunStatusText(RunFigures{}), "no run yet");
  // 20 s into the run: 37 readings of 4 sensors, two of them silent; a bad check byte.
  EXPECT_EQ(RunStatusText(ledger_.RunFiguresAt(20000)),
            "run 0:00:20: 37 readings, 4 sensors (2 silent), 1 error events");
  PortEvent lost;
  lost.tick = 20000;
  ledger_.OnPortLost(lost);
  // While the receiver is lost no sensor is called silent: it is the receiver that is away.
  EXPECT_EQ(RunStatusText(ledger_.RunFiguresAt(3723000)),
            "run 1:02:03: 37 readings, 4 sensors, 1 error events; receiver lost");
  ledger_.OnRunStopped(3723000);
  EXPECT_EQ(RunStatusText(ledger_.RunFiguresAt(4000000)),
            "run ended after 1:02:03: 37 readings, 4 sensors, 1 error events");
}

TEST_F(LedgerFormsWithSequence, TheSequenceColumnsShowTheExactLossesWhenTheByteIsRead) {
  const LedgerTable table = MakeLedgerTable(snapshot_, 120, true);
  EXPECT_THAT(table.header, HasSubstr(" lost"));
  EXPECT_THAT(table.header, HasSubstr(" seq%"));
  // By the worse of the two deliveries: sensor 3 has none; sensor 2's count lost nothing, but
  // its silence since 3 s leaves it 15.79 % by the estimate; sensor 1 lost 6 of 20 readings
  // (every third): 14 / 20.
  EXPECT_EQ(table.rows[0].substr(0, 4), "   3");
  EXPECT_EQ(table.rows[1].substr(0, 4), "   2");
  EXPECT_EQ(table.rows[2].substr(0, 4), "   1");
  EXPECT_THAT(table.rows[2], HasSubstr(" 70.00")) << table.header << "\n" << table.rows[2];
  EXPECT_EQ(Value(SensorFields(snapshot_, 1), "sequence_lost"), "6");
}

}  // namespace
