// Text in character cells: the monitor's UTF-8 texts as wide characters, the cells they take on
// the screen, and clipping to a width without ever splitting a double-width character.
#pragma once

#include <string>
#include <vector>

// The wide characters of a UTF-8 text. A byte that begins no valid sequence becomes U+FFFD and
// control characters become '?', so that no text can move the cursor or change the terminal.
std::wstring WideText(const std::string& utf8);

// Cells a character takes in the current locale: 2 for the wide East Asian ones, 0 for
// combining marks, 1 for the rest (a character the locale cannot show is shown in one cell).
int CellWidth(wchar_t c);
int CellWidth(const std::wstring& text);

// The longest beginning of text that fits into cells. A double-width character that would
// stick out by one cell is left off whole.
std::wstring ClipToCells(const std::wstring& text, int cells);

// text cut into lines of at most cells cells (at least one character each), between words where
// a line has a blank to break at (the blank is left out), elsewhere between characters.
std::vector<std::wstring> WrapToCells(const std::wstring& text, int cells);
// text cut into rows of at most cells cells after the last '-' or '/' that fits (elsewhere between
// characters), nothing left out: the rows joined give the text back.
std::vector<std::wstring> BreakIntoRows(const std::wstring& text, int cells);
