#include "recording/port_recording.h"

#include <utility>

PortRecording::PortRecording(Clock* clock, PortRecorder::PathOf path_of, Report report)
    : report_(std::move(report)),
      recorder_(nullptr, clock, std::move(path_of), [this](const std::string& lines) {
        if (file_) file_->Put(lines);
      }) {}

std::unique_ptr<PortRecording> PortRecording::Start(FileStore* files, const std::string& name,
                                                    const std::string& program, Clock* clock,
                                                    PortRecorder::PathOf path_of, Report report,
                                                    std::string* error, FileHandle created) {
  CreateFailure why = CreateFailure::kNone;
  const FileHandle file = created != kInvalidFile ? created : files->CreateNew(name.c_str(), &why);
  if (file == kInvalidFile) {
    *error = "cannot record into " + name +
             (why == CreateFailure::kNameTaken
                  ? ": something of that name exists (a recording never writes over a file)"
                  : ": it cannot be created there");
    return nullptr;
  }
  std::unique_ptr<PortRecording> recording(
      new PortRecording(clock, std::move(path_of), std::move(report)));
  PortRecording* const r = recording.get();
  r->name_ = name;
  r->program_ = program;
  r->files_ = files;
  r->file_ = std::make_unique<RecordingFile>(
      files, file, name,
      [r](std::uint64_t records, std::uint64_t bytes) {
        return r->recorder_.GapRecord(records, bytes);
      },
      r->report_);
  r->recorder_.Start(program);
  return recording;
}

void PortRecording::Switch(FileHandle file, const std::string& name) {
  if (finished_ || !file_) {
    if (files_ != nullptr) files_->Close(file);
    return;
  }
  recorder_.Finish();
  CloseFile();
  name_ = name;
  file_ = std::make_unique<RecordingFile>(
      files_, file, name,
      [this](std::uint64_t records, std::uint64_t bytes) {
        return recorder_.GapRecord(records, bytes);
      },
      report_);
  recorder_.Restart(program_);
}

void PortRecording::Finish() {
  if (finished_ || !file_) return;
  finished_ = true;
  recorder_.Finish();
  CloseFile();
}

void PortRecording::CloseFile() {
  const bool whole = file_->Close();
  if (!whole && report_) {
    const std::uint64_t missing = file_->missing();
    report_("recording " + name_ + ": " +
            (missing > 0
                 ? std::to_string(missing) + " records are missing from it (the disk refused them)"
                 : std::string("it could not be flushed to the device")));
  }
}
