// wsmon --headless as its users run it: commands on standard input, events on standard output,
// real files in the start directory and real pseudo-terminals as serial ports.
#include <algorithm>
#include <sstream>

#include "app/texts.h"
#include "frontend/headless/event_printer.h"
#include "support.h"

namespace {

const std::string kSaveFailed = "message \"错误提示!\" \"通讯口配置保存错误!\"";
const std::string kDefaultConfig("\x01\x00\x00\x04", 4);

// Runs wsmon --headless with these extra arguments in cwd, writing input to it: its output lines,
// and its exit status in *status.
Lines RunHeadless(const std::vector<std::string>& args, const std::string& input,
                  const std::string& cwd, int* status) {
  std::vector<std::string> all = {"--headless"};
  all.insert(all.end(), args.begin(), args.end());
  Program wsmon(WSMON_PATH, all, cwd);
  wsmon.Write(input);
  *status = wsmon.Finish();
  return wsmon.lines();
}

// The lines that follow the first echo of a command, up to the next echo.
Lines After(const Lines& lines, const std::string& command) {
  auto it = std::find(lines.begin(), lines.end(), "> " + command);
  if (it == lines.end()) return {"<" + command + " never read>"};
  Lines out;
  for (++it; it != lines.end() && it->rfind("> ", 0) != 0; ++it) out.push_back(*it);
  return out;
}

TEST(HeadlessTest, BadCommandsAreReportedEscapedAsValidUtf8AndNothingIsDone) {
  // One a line: malformed, misspelt or out of range.
  const std::string bad_input =
      "bogus\nopen now\nwait\nwait -5\nwait 1e3\nwait 86400001\nsettings port=5\n"
      "settings port=1 port=2\nsettings baud=1200\nsettings save=2\nsettings colour=red\n"
      "settings sensors=\"12\nsettings cancel now\nOPEN\n";
  // Texts meant to steer a terminal or break a reader: the echo and the error, exactly.
  const std::string unknown =
      " (open, close, settings, start, stop, exit, wait, stats); nothing done";
  const std::pair<std::string, Lines> hostile[] = {
      {"\x1B]0;owned\x07",
       {"> \\x1B]0;owned\\x07", "error: unknown command \"\\x1B]0;owned\\x07\"" + unknown}},
      {std::string("open\0now", 8),
       {"> open\\x00now", "error: unknown command \"open\\x00now\"" + unknown}},
      {"\xFF\xC0\xAF \xED\xA0\x80\xF4\x90\x80\x80 \xE2\x82",
       {"> \\xFF\\xC0\\xAF \\xED\\xA0\\x80\\xF4\\x90\\x80\\x80 \\xE2\\x82",
        "error: unknown command \"\\xFF\\xC0\\xAF\"" + unknown}},
      {"settings x\"\\\xC2\x9B"
       "2J=传感器",
       {"> settings x\"\\\\\\xC2\\x9B2J=传感器",
        "error: settings has no field \"x\\\"\\\\\\xC2\\x9B2J\" (port, baud, save, sensors); "
        "nothing done"}},
      {std::string(65537, 'x'),  // one byte past the limit
       {"> " + std::string(64, 'x') + "...",
        "error: a line longer than 65536 bytes; nothing done"}},
  };
  ScratchDirectory dir;
  std::string input = bad_input;
  for (const auto& c : hostile) input += c.first + "\n";
  int status = 0;
  const Lines out =
      RunHeadless({}, input + "start\nstop\nclose\n# a comment\n\n", dir.path(), &status);
  EXPECT_EQ(status, 0);
  std::istringstream bad(bad_input);
  for (std::string c; std::getline(bad, c);) {
    const Lines after = After(out, c);
    ASSERT_EQ(after.size(), 1u) << c;
    EXPECT_THAT(after[0], StartsWith("error: "));
    EXPECT_THAT(after[0], HasSubstr("; nothing done"));
  }
  for (const auto& c : hostile) {
    const auto echo = std::find(out.begin(), out.end(), c.second[0]);
    ASSERT_LT(echo + 2, out.end()) << c.second[0];
    EXPECT_EQ(Lines(echo, echo + 2), c.second);
    EXPECT_THAT(echo[2], StartsWith("> ")) << "one line of error, then the next command";
  }
  for (const std::string& line : out) {
    EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](char c) { return c >= 0 && c < 0x20; }))
        << line;
  }
  for (const std::string c : {"start", "stop", "close"}) {
    EXPECT_EQ(After(out, c), Lines{"refused " + c + ": the menu item is greyed"});
  }
  EXPECT_THAT(out, Contains("> # a comment").Times(0));
  // The end of input exits; no setting changed, so the defaults are saved.
  const Lines exit = After(out, "exit (end of input)");
  EXPECT_THAT(exit, Contains("quit 0").Times(2));
  EXPECT_EQ(exit.back(), "window destroyed");
  EXPECT_EQ(ReadWholeFile(dir.File("wscfg.cfg")), kDefaultConfig);
}

TEST(HeadlessTest, SettingsDialogIsOperatedAsAnOperatorWould) {
  ScratchDirectory dir;
  int status = 0;
  const Lines out = RunHeadless({},
                                "settings port=3 baud=38400 save=1 sensors=\"\"\n"
                                "settings cancel\n"
                                "settings sensors=11\n"
                                "settings save=0 sensors=15\n",
                                dir.path(), &status);
  EXPECT_EQ(status, 0);
  const Lines first = After(out, "settings port=3 baud=38400 save=1 sensors=\"\"");
  ASSERT_GE(first.size(), 2u);
  EXPECT_EQ(first[0], "dialog shows port=1 baud=9600 save=0 sensors=\"4\"");
  EXPECT_EQ(first[1], "dialog confirm port=3 baud=38400 save=1 sensors=\"\"");
  // An empty field is one sensor: two panels instead of four.
  EXPECT_THAT(first, Contains("panel 1 created 509,2 506x502").Times(1));
  EXPECT_EQ(After(out, "settings cancel"),
            Lines({"dialog shows port=3 baud=38400 save=1 sensors=\"1\"", "dialog exit"}));
  EXPECT_THAT(After(out, "settings sensors=11"),
              Contains("panel 14 created 810,142 201x80").Times(1));
  // 11 to 15 sensors share one grid: nothing is rebuilt.
  EXPECT_EQ(After(out, "settings save=0 sensors=15"),
            Lines({"dialog shows port=3 baud=38400 save=1 sensors=\"11\"",
                   "dialog confirm port=3 baud=38400 save=0 sensors=\"15\""}));
  EXPECT_EQ(ReadWholeFile(dir.File("wscfg.cfg")), std::string("\x03\x02\x00\x0F", 4));
}

TEST(HeadlessTest, AStartDirectoryThatTakesNoFilesReportsEachFailureAndStillEnds) {
  // Nobody, not even the superuser, can create files in /proc.
  PseudoTerminal line;
  int status = 0;
  const Lines out =
      RunHeadless({"--com", "1=" + line.path()},
                  "settings save=1\nopen\nstart\nwait 300\nstop\nexit\n", "/proc", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out[0], "message \"错误提示!\" \"通讯口配置读取错误，调用缺省配置!\"");
  // The run's stats lines come at its end, after its export (here the failure to write it).
  const Lines stop = After(out, "stop");
  ASSERT_EQ(stop.size(), 9u) << ::testing::PrintToString(stop);
  EXPECT_EQ(stop[0], "message \"ERROR!\" \"file handle err\"");
  EXPECT_THAT(stop[1], StartsWith("stats run active=0 "));
  for (int i = 0; i < 4; ++i) {
    EXPECT_THAT(stop[2 + i], StartsWith("stats sensor " + std::to_string(i) + " readings=0 "));
  }
  EXPECT_THAT(stop[6], StartsWith("stats refused frames=0 "));
  EXPECT_EQ(Lines(stop.begin() + 7, stop.end()), Lines({"menu start enabled", "menu stop greyed"}));
  const Lines exit = After(out, "exit");
  EXPECT_THAT(exit, Contains(kSaveFailed).Times(2));
  EXPECT_THAT(exit, Contains("quit 0").Times(2));
}

// A box keeps its latest lines only; the event lines go on numbering the run's lines.
TEST(HeadlessTest, LineNumbersCountTheRunsLinesAfterABoxDroppedItsOldest) {
  char* printed = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&printed, &size);
  ASSERT_NE(out, nullptr);
  MemorySurface surface;
  EventPrinter printer(out);
  surface.SetObserver(&printer);
  const WindowHandle main = surface.CreateMainWindow(nullptr);
  const WindowHandle log =
      surface.CreateListBox(main, text::kErrorLogCaption, kStyleScrolledBox, 0, 0, 600, 200);
  for (int n = 0; n < kBoxLineLimit + 2; ++n) surface.AddString(log, std::to_string(n).c_str());
  EXPECT_EQ(surface.Lines(log).size(), static_cast<std::size_t>(kBoxLineLimit));
  EXPECT_EQ(surface.Lines(log).front(), "2");
  surface.ResetContent(log);  // a new run numbers from 0
  surface.AddString(log, "again");
  std::fclose(out);
  const std::string text(printed, size);
  std::free(printed);
  EXPECT_THAT(text, HasSubstr("\nlog line 10001 \"10001\"\nlog emptied\nlog line 0 \"again\"\n"));
}

}  // namespace
