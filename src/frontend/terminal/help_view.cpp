#include "frontend/terminal/help_view.h"

#include <curses.h>

#include <algorithm>
#include <vector>

#include "frontend/terminal/canvas.h"
#include "frontend/terminal/cell_text.h"

namespace {

// A row of the help: the keys or the name of a thing, and what it does or holds. An empty pair
// is a blank row.
struct HelpRow {
  const char* name;
  const char* text;
};

constexpr HelpRow kWindowRows[] = {
    {"letter, Alt+letter",
     "runs the menu item of that underlined letter; e marks close, then "
     "setting, and Enter runs the marked one"},
    {"F10, Left, Right", "mark the menu bar and move along it; Enter runs, Esc leaves it"},
    {"g", "the chart of a sensor's readings in this run"},
    {"l", "the ledger: each sensor's reception figures"},
    {"?, F1, h", "this help"},
    {"Ctrl-C", "ends the program at once, without an export"},
    {"", ""},
    {"传感器N:",
     "the panel of sensor N, a line per reading: number, time, extra byte, "
     "temperature, humidity, raw bytes, seconds since the sensor's previous reading "
     "(fewer pieces with more sensors)"},
    {"正确次数, 错误次数", "good frames; error events (stray bytes, bad check bytes)"},
    {"错误比率, 错误纪录", "error events / (good frames + error events); the error log"},
};

constexpr HelpRow kLedgerRows[] = {
    {"s", "sorts by sensor, or by delivery with the worst first"},
    {"Up, Down, PgUp, PgDn", "scroll"},
    {"Esc, l", "back to the window"},
    {"?, F1, h", "this help"},
    {"", ""},
    {"rows",
     "a row per watched sensor, highlighted while it is silent; 32+ counts the frames "
     "of ids 32 or more"},
};

constexpr HelpRow kChartRows[] = {
    {"Left, Right", "the previous or the next sensor"},
    {"0-9", "the sensor of that number (two digits typed quickly for 10 and more)"},
    {"Esc, g", "back to the window"},
    {"?, F1, h", "this help"},
};

constexpr int kMaxBoxCells = 76;
constexpr int kGap = 2;

}  // namespace

bool IsHelpKey(const Input& in) {
  return (in.kind == Input::kChar && (in.key == '?' || in.key == 'h' || in.key == 'H')) ||
         (in.kind == Input::kFunction && in.key == KEY_F(1));
}

void DrawHelp(HelpTopic topic, const std::string& notice, int columns, int rows) {
  std::vector<HelpRow> help;
  if (topic == HelpTopic::kWindow) help.assign(std::begin(kWindowRows), std::end(kWindowRows));
  if (topic == HelpTopic::kLedger) help.assign(std::begin(kLedgerRows), std::end(kLedgerRows));
  if (topic == HelpTopic::kChart) help.assign(std::begin(kChartRows), std::end(kChartRows));
  if (!notice.empty()) {
    help.push_back({"", ""});
    help.push_back({"notice", notice.c_str()});
  }
  const int inner = std::min(columns - 4, kMaxBoxCells);
  int name_cells = 0;
  for (const HelpRow& h : help) name_cells = std::max(name_cells, CellWidth(WideText(h.name)));
  const int text_cells = std::max(inner - 2 - name_cells - kGap, 1);
  // Each row's name beside the first line of its text, the text's further lines below it.
  std::vector<std::pair<std::wstring, std::wstring>> lines;
  for (const HelpRow& h : help) {
    const std::vector<std::wstring> wrapped = WrapToCells(WideText(h.text), text_cells);
    lines.emplace_back(WideText(h.name), wrapped.empty() ? L"" : wrapped[0]);
    for (std::size_t i = 1; i < wrapped.size(); ++i) lines.emplace_back(L"", wrapped[i]);
  }
  const int height = std::min(static_cast<int>(lines.size()) + 2, rows);
  const CellRect box = DrawCentredBox(L"Help: any key closes it", inner, height, columns, rows);
  for (int i = 0; i + 2 < height; ++i) {
    const auto& line = lines[static_cast<std::size_t>(i)];
    PutText(box.top + 1 + i, box.left + 2, line.first, name_cells, A_BOLD);
    PutText(box.top + 1 + i, box.left + 2 + name_cells + kGap, line.second, text_cells);
  }
}
