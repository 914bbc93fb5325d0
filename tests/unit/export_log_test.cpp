// The export of a run's lines: byte for byte in code page 936 with CR LF, panels in order and
// then the error log, a new file for every stop, and the failures it reports.
#include "settings/export_log.h"
#include "app/resource_ids.h"
#include "support/fixture.h"

#include <gmock/gmock.h>

namespace {

const std::string kFirstName = "RUVEZ_2006_04_04_09_05.txt";

class ExportLogTest : public AppFixture {
 protected:
  void Add(WindowHandle box, const std::string& line) { surface_.AddString(box, line.c_str()); }
  std::string File(const std::string& name) const {
    const Bytes bytes = files_.Bytes(name);
    return std::string(bytes.begin(), bytes.end());
  }
};

TEST_F(ExportLogTest, WritesEveryPanelThenTheErrorLogInCodePage936WithCrLf) {
  CreateWith(1);  // two panels, both exported
  Add(g_state.panel_boxes[0], "sensor0, 开始于:<2006/04/04--09:05:00>");
  Add(g_state.panel_boxes[0], "000-14:05:09-3A-+23.1℃/45.6%RH-<71-01-C8-01-86>- 5.2");
  Add(g_state.panel_boxes[1], "sensor1, 开始于:<2006/04/04--09:05:00>");
  Add(g_state.error_log_box, "00001 -> 14:05:09 -- ERR1,L=3,D:11-22-33-");
  Add(g_state.error_log_box, "00001 -> 14:05:10 -- ERR3,COM PORT READ ERR!");
  EXPECT_EQ(ExportLog(hwnd_), 0);
  EXPECT_EQ(g_state.log_file_name, kFirstName);
  EXPECT_EQ(File(kFirstName),
            "sensor0, \xBF\xAA\xCA\xBC\xD3\xDA:<2006/04/04--09:05:00>\r\n"
            "000-14:05:09-3A-+23.1\xA1\xE6/45.6%RH-<71-01-C8-01-86>- 5.2\r\n"
            "sensor1, \xBF\xAA\xCA\xBC\xD3\xDA:<2006/04/04--09:05:00>\r\n"
            "00001 -> 14:05:09 -- ERR1,L=3,D:11-22-33-\r\n"
            "00001 -> 14:05:10 -- ERR3,COM PORT READ ERR!\r\n");
  EXPECT_TRUE(surface_.Messages().empty());
  EXPECT_EQ(Panel(0).size(), 2u);  // the boxes keep their lines
}

TEST_F(ExportLogTest, ElevenSensorsExportFifteenPanelsInOrderAndAnEmptyLogAddsNothing) {
  CreateWith(11);
  ASSERT_EQ(g_state.panel_count, 15);
  EXPECT_EQ(ExportLog(hwnd_), 0);
  EXPECT_TRUE(files_.Exists(kFirstName));
  EXPECT_EQ(File(kFirstName), "");  // without any line the file is empty

  const auto line = [](int p) { return std::string(p < 10 ? "00" : "0") + std::to_string(p); };
  std::string expected;
  for (int p = 14; p >= 0; p -= 2)
    Add(g_state.panel_boxes[p], line(p) + "-+20.0℃");  // out of order
  for (int p = 0; p < 15; p += 2) expected += line(p) + "-+20.0\xA1\xE6\r\n";
  EXPECT_EQ(ExportLog(hwnd_), 0);
  EXPECT_EQ(File("RUVEZ_2006_04_04_09_05_2.txt"), expected);
}

TEST_F(ExportLogTest, StopsWithinOneMinuteNeverReplaceAnEarlierExport) {
  CreateWith(4, /*save=*/1);
  Command(CMD_OPEN);
  std::vector<std::string> names;
  for (int run = 0; run < 3; ++run) {
    Command(CMD_START);
    Add(g_state.error_log_box, "run " + std::to_string(run));
    clock_.Advance(5000);
    Command(CMD_STOP);
    names.push_back(g_state.log_file_name);
    const std::string text = File(names.back());
    EXPECT_EQ(text.substr(text.size() - 7), "run " + std::to_string(run) + "\r\n");
  }
  EXPECT_EQ(names,
            Lines({kFirstName, "RUVEZ_2006_04_04_09_05_2.txt", "RUVEZ_2006_04_04_09_05_3.txt"}));
  // The next minute starts with the plain name again.
  clock_.Advance(60000);
  Command(CMD_START);
  Command(CMD_STOP);
  EXPECT_STREQ(g_state.log_file_name, "RUVEZ_2006_04_04_09_06.txt");
}

// A failed export leaves no part of itself anywhere, and says why beside its message box.
TEST_F(ExportLogTest, AFailedExportLeavesNothingUnderItsNameAndSaysWhy) {
  struct Case {
    const char* name;
    long budget;  // bytes the device takes
    bool fail_close;
    bool read_only;
    int result;
    const char* message;
    const char* why;
  };
  const Case cases[] = {
      {"first panel line", 3, false, false, -1, "write file header err", "No space left"},
      {"error log line", 8, false, false, -2, "write file header err", "No space left"},
      {"flush at the end", -1, true, false, -2, "write file header err", "Input/output error"},
      {"no file can be made", -1, false, true, 0, "file handle err", "Permission denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    CreateWith(4);
    Add(g_state.panel_boxes[2], "panel");
    Add(g_state.error_log_box, "log");
    files_.FailWritesAfter(c.budget);
    files_.FailCloses(c.fail_close);
    files_.SetReadOnly(kStartDir, c.read_only);
    reports_.clear();
    EXPECT_EQ(ExportLog(hwnd_), c.result);
    EXPECT_EQ(Boxes(), Lines{std::string("ERROR!|") + c.message});
    EXPECT_EQ(files_.FilesIn(kStartDir), Lines{std::string(kStartDir) + "/wscfg.cfg"});
    EXPECT_EQ(files_.OpenHandles(), 0);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_THAT(reports_[0], ::testing::StartsWith("the export " + kFirstName +
                                                   " could not be written: " + c.why));
  }
}

TEST_F(ExportLogTest, ALineLongerThanAnyTheMonitorMakesIsCutNotOverrun) {
  CreateWith(4);
  Add(g_state.panel_boxes[0], std::string(5000, '7'));
  Add(g_state.panel_boxes[0], std::string(400, 'x') + "℃");
  EXPECT_EQ(ExportLog(hwnd_), 0);
  const std::string text = File(kFirstName);
  const std::size_t first_end = text.find("\r\n");
  ASSERT_NE(first_end, std::string::npos);
  EXPECT_EQ(text.substr(0, first_end), std::string(first_end, '7'));
  EXPECT_EQ(text.substr(first_end + 2), std::string(400, 'x') + "\xA1\xE6\r\n");
}

}  // namespace
