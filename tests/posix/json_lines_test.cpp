// The JSON records read back with the JSON library: keys, units, exact values, nulls, escaping;
// and the writer: one record per line, the ledger every 60 s and at the end, and a reader that
// does not keep up or goes away.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/monitor_state.h"
#include "display/counters.h"
#include "ledger_events.h"
#include "outputs/json_events.h"
#include "outputs/json_lines_writer.h"
#include "outputs/outputs.h"
#include "outputs/record_stream.h"
#include "support.h"
#include "support/fakes/manual_clock.h"

namespace {

using nlohmann::json;

// A reading, the 13th of its sensor, at 09:05:00.123 on 4 April 2026, two hours ahead of UTC.
ReadingEvent Reading(const Bytes& frame, std::optional<int> sixteenths, std::optional<int> tenths,
                     std::uint32_t tick = 42) {
  ReadingEvent r = ReadingOf(frame, tick, sixteenths, tenths, {2026, 4, 6, 4, 9, 5, 0, 123, 120});
  r.number = 12;
  return r;
}

// Every line of a text, each parsed: a line cut short fails here.
std::vector<json> ParseLines(const std::string& text) {
  std::vector<json> records;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) records.push_back(json::parse(line));
  return records;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[65536];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  return text;
}

// Each record against the keys it must hold (a JSON pointer each, with the value).
void ExpectKeys(const std::string& text, const json& expected) {
  SCOPED_TRACE(text);
  const json record = json::parse(text);
  for (const auto& [pointer, value] : expected.items()) {
    EXPECT_EQ(record.at(json::json_pointer(pointer)), value) << pointer;
  }
}

TEST(JsonEvents, RecordsHoldExactValuesUnitsInTheirKeysAndNullsForWhatIsMissing) {
  const Bytes frame = MakeFrame(5, 0x3A, 0x0171, 0x01C8);
  ReadingEvent timed = Reading(frame, 369, 456);
  timed.has_interval = true;
  timed.interval_ms = 5200;
  const std::string text = ReadingJson(timed);
  // The event first, then the time with its offset; the exact decimals, not the nearest binary
  // fraction.
  EXPECT_THAT(text,
              StartsWith("{\"event\":\"reading\",\"time\":\"2026-04-04T09:05:00.123+02:00\","));
  EXPECT_THAT(text, HasSubstr("\"temperature_C\":23.0625,\"humidity_RH\":45.6,"));
  const Bytes cold = MakeFrame(7, 0x3C, 0x0828, 0x0320);
  const Bytes strays = {0x11, 0x22, 0x33};
  const Bytes bad = MakeFrame(5, 0x3A, 0x0171, 0x01C9), none;
  // clang-format off
  ExpectKeys(text, {{"/tick_ms", 42}, {"/sensor", 5}, {"/number", 12}, {"/interval_ms", 5200},
                    {"/extra_byte", 0x3A}, {"/frame", "CC 05 3A 71 01 C8 01 86 DD"}});
  ExpectKeys(ReadingJson(Reading(cold, -40, 800)), {{"/temperature_C", -2.5}, {"/humidity_RH", 80.0}});
  ExpectKeys(ReadingJson(Reading(cold, std::nullopt, std::nullopt)),
             {{"/temperature_C", nullptr}, {"/humidity_RH", nullptr}, {"/interval_ms", nullptr}});
  // A reading is written without the library, in the very bytes it would dump.
  ReadingEvent frameless = Reading(cold, -1, 65535, UINT32_MAX);
  frameless.frame = nullptr;
  for (const ReadingEvent& r : {timed, Reading(cold, -2047, 0), frameless}) {
    const std::string written = ReadingJson(r);
    EXPECT_EQ(nlohmann::ordered_json::parse(written).dump(), written);
  }
  const std::pair<ErrorEvent, json> errors[] = {
      {ErrorOf(kErrStrayBytes, strays, 0),
       {{"/code", "ERR1"}, {"/stray_bytes", 3}, {"/sensor", nullptr}, {"/bytes", "11 22 33"}}},
      {ErrorOf(kErrBadCheck, bad, 0),
       {{"/code", "ERR2"}, {"/stray_bytes", nullptr}, {"/sensor", 5}, {"/number", 3}}},
      {ErrorOf(kErrPortRead, none, 0), {{"/code", "ERR3"}, {"/bytes", nullptr}, {"/line", "L"}}},
  };
  // clang-format on
  for (auto [e, expected] : errors) {
    e.number = 3;
    e.line = "L";
    ExpectKeys(ErrorJson(e), expected);
  }
}

TEST(JsonEvents, TimesNameTheirOffsetFromUtc) {
  const std::pair<int, const char*> zones[] = {
      {0, "+00:00"}, {60, "+01:00"}, {345, "+05:45"}, {-210, "-03:30"}, {-600, "-10:00"}};
  for (const auto& [minutes, zone] : zones) {
    LocalTime t = {2026, 12, 2, 8, 3, 3, 54, 128};
    t.utc_offset_minutes = static_cast<std::int16_t>(minutes);
    EXPECT_EQ(IsoOffsetTime(t), std::string("2026-12-08T03:03:54.128") + zone);
  }
}

TEST(JsonEvents, TextsAreEscapedByTheLibraryAndBytesThatAreNotUtf8AreReplaced) {
  const std::string name = "RUVEZ \"a\\b\"\n\t\x01 \xE4\xBC\xA0\xE6\x84\x9F.txt";
  const std::string text = ExportJson({1, {}}, name.c_str());
  EXPECT_THAT(text, Not(HasSubstr("\n")));
  EXPECT_EQ(json::parse(text)["file"], name);
  EXPECT_EQ(json::parse(ExportJson({1, {}}, "a\xFF!"))["file"], "a\xEF\xBF\xBD!");
}

TEST(JsonEvents, TheLedgerRecordHoldsTheRunTheWatchedSensorsAndTheRefusedRow) {
  ResetMonitorState();
  g_state.sensor_count = 3;
  ManualClock clock;
  Ledger ledger(&clock);
  ledger.OnRunStarted();
  const Bytes frame = MakeFrame(1, 0, 0, 0);
  for (std::uint32_t tick : {0u, 1000u, 3000u, 4000u, 6000u, 7000u, 9000u, 10000u}) {
    ledger.OnReading(Reading(frame, -641, 456, tick));
  }
  const Bytes high = MakeFrame(40, 0, 0, 0);
  ledger.OnError(ErrorOf(kErrSensorId, high, 5000));
  LedgerSnapshot snapshot;
  ledger.Snapshot(10500, snapshot);
  const std::string text = LedgerJson(snapshot, {});
  EXPECT_EQ(json::parse(text)["sensors"].size(), 3u);
  // clang-format off
  ExpectKeys(text, {
      {"/event", "ledger"}, {"/tick_ms", 10500}, {"/run/active", true},
      {"/run/end_time", nullptr}, {"/run/duration_ms", 10500}, {"/run/readings", 8},
      {"/run/errors", {{"ERR1", 0}, {"ERR2", 0}, {"ERR3", 0}, {"ERR4", 0}, {"ERR5", 1}}},
      {"/run/watched", 3}, {"/run/silent", 2},  // sensors 0 and 2: not heard in 10.5 s
      // Every third reading lost.
      {"/sensors/1/sensor", 1}, {"/sensors/1/interval_median_ms", 1000},
      {"/sensors/1/interval_p95_ms", 2000}, {"/sensors/1/missed", 3},
      {"/sensors/1/delivery_percent", 72.73}, {"/sensors/1/temperature_min_C", -40.0625},
      {"/sensors/1/implausible_temperatures", 8}, {"/sensors/1/humidity_last_RH", 45.6},
      {"/sensors/1/first_seen", "2026-04-04T09:05:00.123+02:00"}, {"/sensors/1/sequence_lost", nullptr},
      // Never heard: counts of 0 and nulls, not invented figures.
      {"/sensors/0/readings", 0}, {"/sensors/0/first_seen", nullptr},
      {"/sensors/0/interval_min_ms", nullptr}, {"/sensors/0/interval_median_ms", nullptr},
      {"/sensors/0/delivery_percent", nullptr}, {"/sensors/0/temperature_last_C", nullptr},
      {"/sensors/0/age_ms", 10500}, {"/sensors/0/silent", true},
      {"/refused/frames", 1}, {"/refused/age_ms", 5500}});
  // clang-format on
}

class JsonLinesWriterTest : public ::testing::Test {
 protected:
  JsonLinesWriterTest() {
    ResetMonitorState();
    std::signal(SIGPIPE, SIG_IGN);  // as the front ends have it: a reader gone is EPIPE
    EXPECT_EQ(::pipe2(pipe_, O_CLOEXEC), 0);
    record_.kind = EventRecord::Kind::kReading;
    record_.text = ReadingJson(reading_);
  }
  ~JsonLinesWriterTest() override {
    for (int fd : pipe_) {
      if (fd >= 0) ::close(fd);
    }
  }
  // A reading record of about 200 bytes.
  const Bytes frame_ = MakeFrame(2, 0, 0x0100, 0x0200);
  const ReadingEvent reading_ = Reading(frame_, 256, 512);
  EventRecord record_;
  ManualClock clock_;
  Ledger ledger_{&clock_};
  int pipe_[2] = {-1, -1};
};

// The outputs as a program assembles them, with --json naming the pipe; the loop ticks them when
// their wait says. A header names the port the run's records come from, not the one the
// settings held when the file opened.
TEST_F(JsonLinesWriterTest, ARunIsOneRecordPerLineWithTheLedgerEveryMinuteAndAtItsEnd) {
  ASSERT_GT(::fcntl(pipe_[1], F_SETPIPE_SZ, 1 << 18), 0);  // room for the whole run
  OutputOptions options;
  options.json = true;
  options.json_file = "/proc/self/fd/" + std::to_string(pipe_[1]);
  std::string error;
  std::unique_ptr<Outputs> outputs = Outputs::Start(options, &clock_, {}, &error);
  ASSERT_NE(outputs, nullptr) << error;
  outputs->SetDeviceName([](int port) { return "/dev/ttyUSB" + std::to_string(port); });
  g_state.port_open = 1;
  g_state.link_port_number = 3;
  g_state.link_baud_index = 2;
  clock_.SetTick(1000);
  outputs->OnRunStarted();
  std::vector<std::string> expected = {"header", "run_started"};
  for (std::uint32_t t = 2000; t <= 131000; t += 1000) {
    clock_.SetTick(t);
    ReadingEvent r = reading_;
    r.tick = t;
    outputs->OnReading(r);
    if (outputs->MillisecondsToTick(t) == 0) outputs->Tick(t);
    expected.emplace_back("reading");
    if (t == 61000 || t == 121000) expected.emplace_back("ledger");  // 60 s and 120 s of the run
  }
  PortEvent port;
  outputs->OnPortLost(port);
  outputs->OnPortBack(port);
  outputs->OnExported("RUVEZ_2026_04_04_09_05.txt");
  outputs->OnRunStopped(132000);
  expected.insert(expected.end(), {"port_lost", "port_back", "export", "run_stopped", "ledger"});
  EXPECT_EQ(outputs->MillisecondsToTick(132000), -1);  // nothing pending, no run
  outputs.reset();
  ::close(pipe_[1]);
  pipe_[1] = -1;
  const std::vector<json> records = ParseLines(ReadAll(pipe_[0]));
  std::vector<std::string> events;
  for (const json& r : records) events.push_back(r["event"]);
  EXPECT_EQ(events, expected);
  ExpectKeys(records.front().dump(), {{"/program", "wsmon"},
                                      {"/device", "/dev/ttyUSB3"},
                                      {"/baud", 38400},
                                      {"/time", "2006-04-04T09:05:00.000+00:00"},
                                      {"/tick_ms", 1000}});
  EXPECT_FALSE(records.front()["version"].get<std::string>().empty());
  // The ledger heard the end before the record of its figures was made.
  ExpectKeys(records.back().dump(), {{"/run/active", false},
                                     {"/run/duration_ms", 131000},
                                     {"/run/outages", 1},
                                     {"/sensors/2/readings", 130}});
}

TEST_F(JsonLinesWriterTest, AReaderThatDoesNotKeepUpLosesWholeRecordsAndIsToldHowMany) {
  ASSERT_EQ(::fcntl(pipe_[1], F_SETPIPE_SZ, 4096), 4096);
  std::vector<std::string> problems;
  LineOutput output(pipe_[1]);
  JsonLinesWriter writer(&output, &clock_,
                         [&problems](const std::string& p) { problems.push_back(p); });
  // Three times what the writer keeps: no call waits for the reader.
  const std::uint64_t offered = 3 * JsonLinesWriter::kPendingLimit / record_.text.size();
  for (std::uint64_t i = 0; i < offered; ++i) writer.OnRecord(record_);
  EXPECT_GT(writer.dropped(), 0u);
  EXPECT_LE(writer.pending(), JsonLinesWriter::kPendingLimit);

  // The reader catches up; the next record brings the note of the loss.
  ASSERT_EQ(::fcntl(pipe_[0], F_SETFL, O_NONBLOCK), 0);
  std::string text;
  for (int round = 0; round < 100000 && writer.pending() > 0; ++round) {
    text += ReadAll(pipe_[0]);
    writer.Tick();
  }
  text += ReadAll(pipe_[0]);
  writer.OnRecord(record_);
  ASSERT_TRUE(writer.Drain(1000));
  text += ReadAll(pipe_[0]);
  std::uint64_t readings = 0, noted = 0;
  const std::vector<json> records = ParseLines(text);
  for (const json& r : records) {
    readings += r["event"] == "reading" ? 1 : 0;
    if (r["event"] == "records_dropped") noted += r["count"].get<std::uint64_t>();
  }
  EXPECT_EQ(records.back()["event"], "reading");
  EXPECT_EQ(noted, writer.dropped());
  EXPECT_EQ(readings + writer.dropped(), offered + 1);
  EXPECT_EQ(writer.written(), records.size());

  // The reader goes away: told once, and nothing more is kept or waited for.
  ::close(pipe_[0]);
  pipe_[0] = -1;
  writer.OnRecord(record_);
  writer.OnRecord(record_);
  EXPECT_EQ(writer.error(), EPIPE);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_THAT(problems[0], HasSubstr("Broken pipe"));
  EXPECT_EQ(writer.pending(), 0u);
  EXPECT_EQ(readings + writer.dropped(), offered + 3);
}

// Whatever a file held stays, a line that a crash tore is ended first, and a link leads to its
// file; then the records, each at once, whatever their number.
TEST_F(JsonLinesWriterTest, AFileTakesEveryRecordAtOnceAfterWhatItHeld) {
  ScratchDirectory dir;
  ASSERT_TRUE(dir.Lay({{"whole.jsonl", "={}"}, {"link.jsonl", "@whole.jsonl"}}));
  std::ofstream(dir.File("torn.jsonl")) << "{\"ev";
  for (const auto& [name, file, kept] :
       {std::tuple<const char*, const char*, const char*>{"new.jsonl", "new.jsonl", ""},
        {"torn.jsonl", "torn.jsonl", "{\"ev\n"},
        {"link.jsonl", "whole.jsonl", "{}\n"}}) {
    SCOPED_TRACE(name);
    {
      LineOutput output;
      std::string error;
      ASSERT_TRUE(output.Open(dir.File(name), &error)) << error;
      JsonLinesWriter writer(&output, &clock_);
      RecordStream stream(&clock_, &ledger_);
      stream.Add(&writer);
      stream.OnRunStarted();
      for (int i = 0; i < 10000; ++i) stream.OnReading(reading_);  // 2 MB, more than it keeps
      stream.OnRunStopped(5);
      EXPECT_EQ(writer.pending() + writer.dropped(), 0u);
      EXPECT_EQ(writer.written(), 10003u);  // the run's start and stop, and the ledger's record
    }
    const std::string text = ReadWholeFile(dir.File(file));
    ASSERT_EQ(text.substr(0, std::strlen(kept)), kept);
    EXPECT_EQ(ParseLines(text.substr(std::strlen(kept))).size(), 10003u);
  }
}

}  // namespace
