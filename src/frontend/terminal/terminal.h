// The process's terminal under curses: the locale for the monitor's texts, the modes the monitor
// needs (keys one at a time and unechoed, function keys and mouse clicks decoded, Ctrl-C left a
// signal), input awaited together with the stop signals, and the terminal put back however the
// program ends (a fatal signal included).
#pragma once

#include <cwchar>
#include <string>

// Chooses the character set of the program's own output: the environment's when it is UTF-8 or
// GB18030 (the monitor's Chinese texts show correctly in both), otherwise C.UTF-8.
void ChooseTextLocale();

// One thing the operator did, or why the wait ended without one.
struct Input {
  enum Kind {
    kNone,      // the time was up, or a stop signal came (see StopRequested)
    kChar,      // a character typed (key)
    kAlt,       // Alt with a character (Esc, then the character)
    kFunction,  // a function or cursor key (key is the curses key code)
    kClick,     // the first mouse button pressed at row, column
    kResize,    // the terminal changed its size
    kHangup,    // the terminal is gone
  };
  Kind kind = kNone;
  int key = 0;
  int row = 0;
  int column = 0;
};

// Enter, as a character or as the keypad's key.
bool IsEnter(const Input& in);

class Terminal {
 public:
  Terminal() = default;
  ~Terminal() { Stop(); }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // Starts curses on standard input and output. False with a message when it cannot.
  bool Start(std::string* error);
  // Puts the terminal back as it was found.
  void Stop();

  int Columns() const;
  int Rows() const;
  // Waits at most timeout_ms (-1: as long as it takes) for the operator or a stop signal.
  Input Next(long timeout_ms);
  // The terminal's bell.
  void Bell();
  // Has the next refresh write every cell again. A box drawn over a double-width character cuts
  // it in half, and what the terminal shows then is no longer what curses believes it shows:
  // only a whole repaint takes such marks away when the box closes.
  void RepaintAll();

 private:
  // With no input queued: waits up to timeout_ms and reads what came, or gives ERR (with
  // *gone set when the terminal has gone).
  int ReadWhenReady(long timeout_ms, wint_t* key, bool* gone);

  bool started_ = false;
  int idle_reads_ = 0;  // readable input that gave no character, in a row
};
