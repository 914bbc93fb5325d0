// The journal of the run in progress. While a run with saving on is active, every line it adds
// to a panel or to the error log (and each replaced line of a one-line panel) also goes to a
// journal file in the start directory, in the export's own bytes, together with the run's facts
// and each poll's counts: the journal alone describes the run, so that the export its stop would
// have written can still be made when the program or the machine dies first (see recovery.h).
//
// The journal is named after the run's start, RUVEZ_YYYY_MM_DD_HH_MM_SS.journal, beside the
// exports. The lines of one poll go out in one write at its end (CommitRunJournal); a helper
// thread flushes the file to the device at most once a second. At the stop the journal is closed
// before the export and removed once the export is on the device; a run ended without an export
// removes it at once. A full disk costs the journal lines, never the run: the lines kept out are
// counted by box and said in a Gap record once writing resumes.
//
// The procedures do nothing unless a run with saving on has begun its journal. Boxes are table
// indices: panels 0 to 39, the error log kJournalLogIndex.
#pragma once

#include <cstdint>
#include <string>

#include "app/local_time.h"
#include "journal/journal_format.h"
#include "settings/file_store.h"

// At the start of a run with saving on, after its boxes were emptied.
void BeginRunJournal();
// A line added to a growing box (a panel, or the error log).
void JournalLine(int box, const char* line);
// A one-line panel's line replaced.
void JournalReplace(int panel, const char* line);
// The end of a poll (or of the start): the lines since the last commit go out in one write,
// followed by the counts and the local time.
void CommitRunJournal();

// The stem that names a run's files after its start: RUVEZ_YYYY_MM_DD_HH_MM_SS.
std::string RunFileStem(const LocalTime& start);

// Whether the current run keeps a journal (a run with saving on, started and not yet ended), and
// whether its file could be made.
bool RunJournalActive();
bool RunJournalFileOpen();
// The journal file's name ("" without one) and its bytes (all whole records).
const char* RunJournalName();
std::int64_t RunJournalBytes();
// Lines the run added to a box so far, whether or not they reached the journal.
std::uint64_t RunJournalLines(int box);

// The stop, before its export: the journal is closed, saying that the export is under way in
// temp_name (may be empty). The file stays until FinishRunJournal.
void EndRunJournalForExport(const char* temp_name);
// The export reached the device under export_name: the journal says so and is removed (or kept,
// for the next start to remove once it finds the export).
void FinishRunJournal(const char* export_name, bool remove = true);
// The run ended without an export (close, settings, exit), or its export failed and the journal
// is kept for the next start (keep): the journal is closed, and removed unless kept.
void DropRunJournal(bool keep = false);
// Lets go of the journal as a process that dies would (tests, and the reset of the state).
void AbandonRunJournal();

// Adds the mark that a journal's export reached the device under export_name, and flushes it.
bool MarkJournalExported(FileStore& files, const char* journal, const char* export_name);
