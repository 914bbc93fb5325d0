#include "frontend/terminal/terminal_session.h"

#include <curses.h>

#include <cctype>

#include "app/monitor_state.h"
#include "app/resource_ids.h"
#include "app/texts.h"
#include "display/box_lines.h"
#include "display/panel_layout.h"
#include "frontend/terminal/help_view.h"
#include "frontend/terminal/message_box.h"
#include "frontend/terminal/settings_form.h"

namespace {

constexpr int kControlC = 3;

// The question before a command that would end a run with saving on without its export.
constexpr char kStopAndSaveQuestion[] = "stop and save the run first?";
constexpr char kStopAndSaveAnswers[] =
    "Yes stops the run and exports its lines, No ends it without an export, Cancel goes back to "
    "the run.";
enum StopAndSaveAnswer { kYes, kNo, kCancel };

// A menu item's text as the bar shows it, without the mark of its mnemonic.
std::string ItemText(int command) {
  const char* marked = command == CMD_EXIT    ? text::kMenuExit
                       : command == CMD_CLOSE ? text::kMenuClose
                                              : text::kMenuSettings;
  std::string shown;
  for (const char* c = marked; *c != '\0'; ++c) {
    if (*c != '&') shown += *c;
  }
  return shown;
}

}  // namespace

TerminalSession::TerminalSession(MonitorHost* host, Terminal* terminal, ReadingHistory* history,
                                 const ComPortMap* ports, Clock* clock, const Ledger* ledger)
    : host_(host),
      terminal_(terminal),
      clock_(clock),
      geometry_(&host->surface()),
      status_(ports, history, ledger),
      view_(&host->surface(), &geometry_, &menu_, &status_,
            [host](int command) { return host->Enabled(command); }),
      chart_(history),
      ledger_view_(ledger) {
  geometry_.SetScreen(terminal->Columns(), terminal->Rows());
  MemorySurface& surface = host->surface();
  surface.SetObserver(this);
  surface.SetLineMeasure(&geometry_);
  surface.SetMessageBoxHandler(
      [this](const MemorySurface::MessageRecord& m) { return ShowMessageBox(m); });
}

TerminalSession::~TerminalSession() {
  MemorySurface& surface = host_->surface();
  surface.SetMessageBoxHandler(nullptr);
  surface.SetLineMeasure(nullptr);
  surface.SetObserver(nullptr);
}

void TerminalSession::OnBeep(unsigned) {
  terminal_->Bell();
  view_.Highlight(g_state.error_log_box, clock_->TickCount());
}

void TerminalSession::Run() {
  while (!host_->Ended()) {
    if (host_->PollIfDue()) continue;
    if (hung_up_) {
      EndOn(StopRequest::kStopThenExit);  // as the hang-up signal would
      continue;
    }
    if (StopRequested()) {
      EndOn(TakeStopRequest());
      continue;
    }
    DrawView();
    refresh();
    const long wait = SoonerWait(host_->MillisecondsToNextPoll(),
                                 view_.MillisecondsToNextChange(clock_->TickCount()));
    Handle(terminal_->Next(wait));
  }
}

bool TerminalSession::DrawView() {
  const int columns = terminal_->Columns();
  const int rows = terminal_->Rows();
  if (TooSmall(columns, rows) || !geometry_.Layout().fits()) {
    DrawTooSmall(columns, rows);
    return false;
  }
  const std::uint32_t now = clock_->TickCount();
  if (chart_open_) {
    chart_.Draw(columns, rows, now, g_state.running == 1);
  } else if (ledger_open_) {
    ledger_view_.Draw(columns, rows, now);
  } else {
    view_.Draw(columns, rows, now);
  }
  return true;
}

void TerminalSession::Handle(const Input& in) {
  switch (in.kind) {
    case Input::kNone:
      return;
    case Input::kHangup:
      hung_up_ = true;
      return;
    case Input::kResize:
      Resize();
      return;
    default:
      break;
  }
  if (in.kind == Input::kChar && in.key == kControlC) {
    // Where the terminal hands Ctrl-C over as a key instead of a signal: the exit without an
    // export, as the signal does, and without a question.
    Execute(CMD_EXIT, /*ask=*/false);
    return;
  }
  if (TooSmall(terminal_->Columns(), terminal_->Rows())) return;
  if (IsHelpKey(in) && !menu_.marked()) {
    ShowHelp();
    return;
  }
  if (chart_open_) {
    chart_open_ = chart_.Handle(in, clock_->TickCount());
    return;
  }
  if (ledger_open_) {
    ledger_open_ = ledger_view_.Handle(in);
    return;
  }
  MenuAction action;
  if (in.kind == Input::kClick) {
    if (in.row == kMenuRow) action = menu_.OnClick(in.column);
  } else if (in.kind == Input::kAlt ||
             (in.kind == Input::kChar && in.key < 0x80 && std::isalpha(in.key))) {
    action = menu_.OnLetter(in.key);
    if (!action.handled && in.kind == Input::kChar && (in.key == 'g' || in.key == 'G')) {
      chart_open_ = true;
    }
    if (!action.handled && in.kind == Input::kChar && (in.key == 'l' || in.key == 'L')) {
      ledger_open_ = true;
    }
  } else {
    action = menu_.OnKey(in.key, in.kind == Input::kFunction);
  }
  if (action.command != 0) Execute(action.command);
}

void TerminalSession::Execute(int command, bool ask) {
  status_.ClearNotice();
  if (!host_->Enabled(command)) return;  // a greyed item does nothing
  const bool ends_run = command == CMD_EXIT || command == CMD_CLOSE || command == CMD_SETTINGS;
  if (ask && ends_run && host_->RunWouldBeExported()) {
    const int answer = AskStopAndSave(command);
    if (answer == kCancel) return;
    // The run went on polling while the question waited: what it allows now counts.
    if (answer == kYes && host_->Enabled(CMD_STOP)) host_->Choose(CMD_STOP);
    if (!host_->Enabled(command)) return;
  }
  if (command == CMD_SETTINGS) {
    host_->ChooseSettings([this](MemoryDialog& dialog) { return RunSettingsDialog(dialog); });
    return;
  }
  host_->Choose(command);
  if (command == CMD_OPEN && g_state.port_open == 1) {
    status_.PortOpened(g_state.port_number, g_state.baud_index);
  }
}

void TerminalSession::Resize() {
  geometry_.SetScreen(terminal_->Columns(), terminal_->Rows());
  if (TooSmall(terminal_->Columns(), terminal_->Rows())) return;
  // The boxes have new sizes: their scroll ranges change, the monitor measures them again and
  // keeps the newest line of each growing box in view as it does after adding one.
  host_->surface().RefitBoxes();
  MeasureListBoxes(host_->surface().MainWindow());
  if (g_state.sensor_count <= kMaxSensorsWithGrowingPanels) {
    for (int i = 0; i < g_state.panel_count; ++i) {
      ScrollToNewest(g_state.panel_boxes[i], g_state.panel_visible_lines);
    }
  }
  ScrollToNewest(g_state.error_log_box, g_state.log_visible_lines);
}

void TerminalSession::EndOn(StopRequest request) {
  ending_ = true;
  host_->EndOn(request);
}

int TerminalSession::Modal(const std::function<void(int, int)>& draw,
                           const std::function<int(const Input&)>& answer) {
  // Whatever the box covered is drawn whole again once it goes.
  struct RepaintAfter {
    Terminal* terminal;
    ~RepaintAfter() { terminal->RepaintAll(); }
  } repaint{terminal_};
  for (;;) {
    if (ending_ || hung_up_ || StopRequested()) return -1;
    // The monitor's own boxes come with the poll timer stopped; the question before a command
    // comes during a run, which goes on polling meanwhile, so that no byte waits too long.
    if (host_->PollIfDue()) continue;
    if (DrawView()) draw(terminal_->Columns(), terminal_->Rows());
    refresh();
    const Input in = terminal_->Next(SoonerWait(
        host_->MillisecondsToNextPoll(), view_.MillisecondsToNextChange(clock_->TickCount())));
    if (in.kind == Input::kHangup) {
      hung_up_ = true;
    } else if (in.kind == Input::kResize) {
      Resize();
    } else if (in.kind != Input::kNone && !TooSmall(terminal_->Columns(), terminal_->Rows())) {
      const int result = answer(in);
      if (result >= 0) return result;
    }
  }
}

void TerminalSession::ShowHelp() {
  const HelpTopic topic = chart_open_    ? HelpTopic::kChart
                          : ledger_open_ ? HelpTopic::kLedger
                                         : HelpTopic::kWindow;
  Modal([this, topic](int columns, int rows) { DrawHelp(topic, status_.Notice(), columns, rows); },
        [](const Input& in) { return in.kind == Input::kNone ? -1 : 0; });
}

void TerminalSession::TellOpenFailure(const std::string& reason) {
  open_failures_.push_back(reason);
  pending_detail_ = reason;
}

int TerminalSession::ShowMessageBox(const MemorySurface::MessageRecord& message) {
  // Why a port did not open comes just before the monitor's box that says it did not: the box
  // shows it whole below its own text.
  MessageBoxView box = MonitorMessageBox(message.caption, message.text,
                                         message.type == kBoxExclamation, pending_detail_);
  pending_detail_.clear();
  if (message.type == kBoxExclamation && !ending_) terminal_->Bell();
  const int answer = Modal([&box](int columns, int rows) { box.Draw(columns, rows); },
                           [&box](const Input& in) { return box.Answer(in); });
  if (answer < 0) unshown_.push_back(message.caption + ": " + message.text);
  return 1;  // OK
}

int TerminalSession::AskStopAndSave(int command) {
  MessageBoxView box(ItemText(command), {kStopAndSaveQuestion, kStopAndSaveAnswers}, false,
                     {BoxButton{"Yes", 'y'}, BoxButton{"No", 'n'}, BoxButton{"Cancel", 'c'}},
                     kCancel);
  const int answer = Modal([&box](int columns, int rows) { box.Draw(columns, rows); },
                           [&box](const Input& in) { return box.Answer(in); });
  // The program is ending meanwhile (a signal, the terminal gone): the end takes its own course.
  return answer < 0 ? kCancel : answer;
}

int TerminalSession::RunSettingsDialog(MemoryDialog& dialog) {
  SettingsForm form(&dialog);
  const int code = Modal([&form](int columns, int rows) { form.Draw(columns, rows); },
                         [&form](const Input& in) {
                           switch (form.Handle(in)) {
                             case SettingsForm::Outcome::kConfirm:
                               return IDC_CONFIRM;
                             case SettingsForm::Outcome::kExit:
                               return IDC_EXIT;
                             default:
                               return -1;
                           }
                         });
  return code < 0 ? IDC_EXIT : code;
}
