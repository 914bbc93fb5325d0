#include "display/counters.h"

#include "app/monitor_state.h"
#include "app/platform.h"
#include "app/texts.h"
#include "display/box_lines.h"
#include "display/hex_dump.h"
#include "display/number_format.h"
#include "display/text_line.h"
#include "journal/run_journal.h"
#include "reception/reading_sink.h"

namespace {

// ERR1 lines show at most this many of the stray bytes.
constexpr int kStrayDumpLimit = 15;
// ERR5 names the first sensor id that has no panel.
constexpr int kFirstRefusedId = kSensorIdLimit;

// Rewrites a counter box with its count; returns the new line's index.
int ShowCount(WindowHandle box, int count) {
  TextLine line;
  line.AppendFormat(text::kCountFormat, count);
  return ReplaceLine(box, line.c_str());
}

void RefreshRatio() {
  TextLine line;
  line.Append(" ");
  AppendErrorRatio(line, g_state.bad_frames, g_state.good_frames);
  line.Append("% ");
  ReplaceLine(g_state.error_ratio_box, line.c_str());
}

void AppendDump(TextLine& line, const std::uint8_t* bytes, int count) {
  char dump[kLineCapacity];  // as much as a line holds
  FormatHexDump(bytes, count, '-', HexSeparator::kAfterEach, dump, sizeof dump);
  line.Append(dump);
}

// Frame k of frame_table, all 9 bytes; nothing when k names no entry.
void AppendFrameDump(TextLine& line, int k) {
  if (k >= 0 && k < kFrameTableSize) AppendDump(line, g_state.frame_table[k], kFrameSize);
}

// Tells a listening front end of the line just written, with every byte concerned.
void TellError(int code, int arg, const char* line) {
  ReadingSink* sink = g_platform.readings;
  if (sink == nullptr) return;
  ErrorEvent error;
  error.code = code;
  error.arg = arg;
  error.number = g_state.bad_frames;
  error.tick = g_platform.clock->TickCount();
  error.time = g_state.local_time;
  if (code == kErrStrayBytes && arg > 0) {
    error.bytes = g_state.stray_bytes;
    error.byte_count = arg < kStrayBufferSize ? arg : kStrayBufferSize;
  } else if ((code == kErrBadCheck || code == kErrSensorId) && arg >= 0 && arg < kFrameTableSize) {
    error.bytes = g_state.frame_table[arg];
    error.byte_count = kFrameSize;
  }
  error.line = line;
  sink->OnError(error);
}

}  // namespace

void CountGoodFrame() {
  CountUp(g_state.good_frames);
  // The good count is shown highlighted.
  const int index = ShowCount(g_state.good_count_box, g_state.good_frames);
  g_platform.window->SetCurSel(g_state.good_count_box, index);
  RefreshRatio();
}

void CountBadFrame() {
  CountUp(g_state.bad_frames);
  ShowCount(g_state.bad_count_box, g_state.bad_frames);
  RefreshRatio();
}

void LogError(int code, int arg) {
  g_state.local_time = g_platform.clock->Now();
  const LocalTime& t = g_state.local_time;
  TextLine line;
  line.AppendFormat(text::kErrorPrefixFormat, g_state.bad_frames, t.hour, t.minute, t.second);
  switch (code) {
    case kErrStrayBytes: {
      line.AppendFormat(text::kErr1Format, arg);
      const int shown = arg < 0 ? 0 : (arg < kStrayDumpLimit ? arg : kStrayDumpLimit);
      AppendDump(line, g_state.stray_bytes, shown);
      // Also when exactly the limit was shown and nothing was left out.
      if (arg >= kStrayDumpLimit) line.Append("...");
      break;
    }
    case kErrBadCheck:
      line.AppendFormat(text::kErr2Format, arg);
      AppendFrameDump(line, arg);
      break;
    case kErrPortRead:
      line.Append(text::kErr3Text);
      break;
    case kErrBufferFull:
      line.Append(text::kErr4Text);
      break;
    case kErrSensorId:
      line.AppendFormat(text::kErr5Format, kFirstRefusedId);
      AppendFrameDump(line, arg);
      break;
    default:
      break;  // the prefix alone
  }
  g_platform.window->AddString(g_state.error_log_box, line.c_str());
  JournalLine(kJournalLogIndex, line.c_str());
  g_platform.window->Beep(kBeepExclamation);
  ScrollToNewest(g_state.error_log_box, g_state.log_visible_lines);
  TellError(code, arg, line.c_str());
}
