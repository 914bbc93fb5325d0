// Recovery of the runs that never reached their stop: a run's journal left in the start
// directory by a program or a machine that died becomes the export that the stop would have
// written, byte for byte, named after the run's last poll with "_recovered" added
// (RUVEZ_YYYY_MM_DD_HH_MM_recovered.txt), so that it is told apart from an export written at a
// stop, never replacing a file. The journal is removed only once that export is on the device.
//
// A journal damaged in its middle gives the lines up to the damage; one that ends in a record cut
// short by the crash gives every line before that record. Journals of runs that did end (their
// export was written, or the run was dropped) are removed quietly; a journal that another monitor
// is writing now is left alone.
#pragma once

#include <string>
#include <vector>

#include "journal/recovery_result.h"
#include "settings/file_store.h"

// Recovers every journal in the current directory. Returns a result for each journal that was
// recovered, or that could not be.
std::vector<RecoveryResult> RecoverRuns(FileStore& files);

// One result in words, for the operator: which run, how many lines up to what time, in which
// file, and what was lost.
std::string DescribeRecovery(const RecoveryResult& result);
