#include "frontend/terminal/terminal.h"

#include <curses.h>
#include <langinfo.h>
#include <poll.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "frontend/common/stop_signals.h"

namespace {

// What a fatal signal's cleanup needs, prepared while the program runs normally: the terminal
// modes found at start, and the sequences that leave the monitor's screen, show the cursor,
// reset the attributes, the keypad and the mouse.
termios g_saved_modes;
bool g_have_saved_modes = false;
char g_reset_sequence[256];
std::size_t g_reset_length = 0;

// Only async-signal-safe calls: it runs from a signal handler.
void RestoreTerminalAfterFatalSignal() {
  if (g_reset_length > 0) (void)!::write(STDOUT_FILENO, g_reset_sequence, g_reset_length);
  if (g_have_saved_modes) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_modes);
}

void AppendReset(const char* sequence) {
  if (sequence == nullptr || sequence == reinterpret_cast<const char*>(-1)) return;
  const std::size_t n = std::strlen(sequence);
  if (g_reset_length + n >= sizeof g_reset_sequence) return;
  std::memcpy(g_reset_sequence + g_reset_length, sequence, n);
  g_reset_length += n;
}

void PrepareFatalCleanup() {
  g_reset_length = 0;
  AppendReset("\033[?1000l\033[?1002l\033[?1006l");  // mouse reports off
  for (const char* name : {"sgr0", "cnorm", "rmkx", "rmcup"}) {
    AppendReset(tigetstr(const_cast<char*>(name)));
  }
  SetFatalSignalCleanup(RestoreTerminalAfterFatalSignal);
}

// Milliseconds curses waits after Esc for the rest of a key's sequence: short enough that a
// lone Esc feels immediate, long enough for Alt+letter, which arrives as Esc and the letter.
constexpr int kEscapeDelayMs = 25;
// Readable input that yields no character this many times in a row means the terminal is gone.
constexpr int kIdleReadsOfAClosedTerminal = 100;

// Whether the terminal that TERM names is known and can move the cursor to any cell: without
// that (TERM=dumb, a printing terminal) curses would draw nothing that can be read. Asked of
// the terminal description alone, before anything is written to the screen.
bool CanAddressCells() {
  int status = 0;
  if (setupterm(nullptr, STDOUT_FILENO, &status) != OK) return false;
  const char* move = tigetstr(const_cast<char*>("cup"));
  const bool addressable = move != nullptr && move != reinterpret_cast<const char*>(-1);
  del_curterm(cur_term);  // also makes it no longer the current one
  return addressable;
}

// A key that curses names: a resize, a press of the left button, or another function key.
Input FunctionKey(wint_t key, Input in) {
  if (key == KEY_RESIZE) {
    in.kind = Input::kResize;
  } else if (key == KEY_MOUSE) {
    MEVENT event;
    if (getmouse(&event) == OK && (event.bstate & BUTTON1_PRESSED) != 0) {
      in.kind = Input::kClick;
      in.row = event.y;
      in.column = event.x;
    }
  } else {
    in.kind = Input::kFunction;
  }
  return in;
}

// Alt+character arrives as Esc followed at once by the character; anything else after the Esc
// is left for the next read.
void TakeAltCharacter(Input* in) {
  wint_t next = 0;
  const int second = wget_wch(stdscr, &next);
  if (second == OK && next != 27) {
    in->kind = Input::kAlt;
    in->key = static_cast<int>(next);
  } else if (second == OK) {
    unget_wch(next);
  } else if (second == KEY_CODE_YES) {
    ungetch(static_cast<int>(next));
  }
}

}  // namespace

void ChooseTextLocale() {
  // The character set alone: numbers and times stay as the monitor writes them.
  std::setlocale(LC_CTYPE, "");
  const char* codeset = nl_langinfo(CODESET);
  if (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "GB18030") == 0) return;
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, "en_US.UTF-8");
}

bool IsEnter(const Input& in) {
  return (in.kind == Input::kChar && (in.key == '\r' || in.key == '\n')) ||
         (in.kind == Input::kFunction && in.key == KEY_ENTER);
}

bool Terminal::Start(std::string* error) {
  g_have_saved_modes = ::tcgetattr(STDIN_FILENO, &g_saved_modes) == 0;
  if (!CanAddressCells() || newterm(nullptr, stdout, stdin) == nullptr) {
    const char* term = std::getenv("TERM");
    *error = std::string("the terminal type \"") + (term != nullptr ? term : "") +
             "\" is unknown or cannot place the cursor; set TERM to the terminal's type (such as "
             "xterm-256color), or run wsmon --headless";
    return false;
  }
  started_ = true;
  cbreak();  // Ctrl-C stays a signal, and ends the monitor like the exit command
  noecho();
  nonl();
  intrflush(stdscr, FALSE);
  keypad(stdscr, TRUE);
  nodelay(stdscr, TRUE);
  set_escdelay(kEscapeDelayMs);
  curs_set(0);
  mousemask(BUTTON1_PRESSED, nullptr);
  mouseinterval(0);
  if (has_colors()) {
    start_color();
    use_default_colors();
  }
  PrepareFatalCleanup();
  return true;
}

void Terminal::Stop() {
  if (!started_) return;
  started_ = false;
  SetFatalSignalCleanup(nullptr);
  endwin();
  if (g_have_saved_modes) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_modes);
}

int Terminal::Columns() const {
  return COLS;
}

int Terminal::Rows() const {
  return LINES;
}

void Terminal::Bell() {
  beep();
}

void Terminal::RepaintAll() {
  clearok(curscr, TRUE);
}

int Terminal::ReadWhenReady(long timeout_ms, wint_t* key, bool* gone) {
  pollfd p[2] = {{STDIN_FILENO, POLLIN, 0}, {StopSignalDescriptor(), POLLIN, 0}};
  const int ready = ::poll(p, p[1].fd >= 0 ? 2 : 1, static_cast<int>(timeout_ms));
  if (ready < 0 && errno == EINTR) return wget_wch(stdscr, key);  // curses tells a resize here
  if (ready <= 0 || (p[1].fd >= 0 && p[1].revents != 0)) return ERR;
  if ((p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    *gone = true;
    return ERR;
  }
  const int got = wget_wch(stdscr, key);
  if (got == ERR && ++idle_reads_ >= kIdleReadsOfAClosedTerminal) *gone = true;
  return got;
}

Input Terminal::Next(long timeout_ms) {
  Input in;
  wint_t key = 0;
  int got = wget_wch(stdscr, &key);
  if (got == ERR) {
    bool gone = false;
    got = ReadWhenReady(timeout_ms, &key, &gone);
    if (gone) in.kind = Input::kHangup;
    if (got == ERR) return in;
  }
  idle_reads_ = 0;
  in.key = static_cast<int>(key);
  if (got == KEY_CODE_YES) return FunctionKey(key, in);
  in.kind = Input::kChar;
  if (key == 27) TakeAltCharacter(&in);
  return in;
}
