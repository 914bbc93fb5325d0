// A recording of the port, as a program runs one (--record FILE): the recorder between the
// monitor and its port and clock, writing into a new file through a recording file. A program
// starts it before anything else that reads the clock, gives it the real port (SetPort), puts
// port() and clock() in the platform record and observer() as its dispatch observer, and calls
// Finish once the monitor is done with the port.
#pragma once

#include <memory>
#include <string>

#include "recording/port_recorder.h"
#include "recording/recording_file.h"
#include "settings/file_store.h"

class PortRecording {
 public:
  using Report = RecordingFile::Report;

  // Creates name, which must not exist yet (a recording is never written over), and writes its
  // first line, naming program. nullptr with a message for the user in *error when it cannot.
  // report is told on the monitor's thread what goes wrong with the file meanwhile. created,
  // when given, is name's new file, which the caller made (a run's own name) and this takes.
  static std::unique_ptr<PortRecording> Start(FileStore* files, const std::string& name,
                                              const std::string& program, Clock* clock,
                                              PortRecorder::PathOf path_of, Report report,
                                              std::string* error,
                                              FileHandle created = kInvalidFile);
  ~PortRecording() { Finish(); }
  PortRecording(const PortRecording&) = delete;
  PortRecording& operator=(const PortRecording&) = delete;

  void SetPort(SerialPort* port) { recorder_.SetPort(port); }
  SerialPort* port() { return &recorder_; }
  Clock* clock() { return &recorder_; }
  DispatchObserver* observer() { return &recorder_; }

  // Writes the closing record and the rest, flushes and closes the file (waiting for the disk),
  // and tells the report when the file does not hold the whole run. Once.
  void Finish();
  // Closes the file as Finish does and goes on in file, a new file named name (opened for
  // writing by the caller), which begins as a recording of its own with the port open as the
  // monitor has it now. Between two messages of the monitor, before Finish.
  void Switch(FileHandle file, const std::string& name);

 private:
  PortRecording(Clock* clock, PortRecorder::PathOf path_of, Report report);

  // Closes the file; false when it does not hold every record (told to the report).
  void CloseFile();

  Report report_;
  std::string name_;
  std::string program_;
  FileStore* files_ = nullptr;
  PortRecorder recorder_;
  std::unique_ptr<RecordingFile> file_;
  bool finished_ = false;
};
