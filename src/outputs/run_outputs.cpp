#include "outputs/run_outputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

RunOutputs::RunOutputs(const OutputOptions& options, Clock* clock, Report report)
    : options_(options),
      clock_(clock),
      report_(std::move(report)),
      ledger_(clock, options.sequence_byte),
      csv_(report_, &ledger_) {}

RunOutputs::~RunOutputs() {
  json_.reset();  // drains what is still pending first
  if (json_fd_owned_) ::close(json_fd_);
}

bool RunOutputs::Open(std::string* error) {
  if (!options_.json) return true;
  if (options_.JsonToStandardOutput()) {
    json_fd_ = STDOUT_FILENO;
  } else {
    // Appended to, so that an earlier session's records are never lost; O_NONBLOCK, so that a
    // FIFO without a reader or a device that waits for a carrier cannot hold the start up.
    json_fd_ = ::open(options_.json_file.c_str(),
                      O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (json_fd_ < 0) {
      const std::string file = "--json " + options_.json_file + ": ";
      *error = errno == ENXIO ? file + "a FIFO that no program reads yet (start its reader first)"
                              : file + std::strerror(errno);
      return false;
    }
    json_fd_owned_ = true;
  }
  json_ = std::make_unique<JsonLinesWriter>(json_fd_, clock_, &ledger_, report_);
  return true;
}

bool RunOutputs::AddTo(ReadingFanout& host_fanout) {
  fanout_ = ReadingFanout{};
  bool added = fanout_.Add(&ledger_);
  if (options_.csv) added = fanout_.Add(&csv_) && added;
  if (json_) added = fanout_.Add(json_.get()) && added;
  return host_fanout.Add(&fanout_) && added;
}

void RunOutputs::Tick(std::uint32_t now_tick) {
  if (json_) json_->Tick(now_tick);
}

void RunOutputs::WriteLedgerRecord(std::uint32_t now_tick) {
  if (json_) json_->WriteLedgerRecord(now_tick);
}
