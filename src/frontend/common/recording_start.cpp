#include "frontend/common/recording_start.h"

#include <utility>

#include "app/program_version.h"

std::unique_ptr<PortRecording> StartRecording(Options& options, FileStore* files, Clock* clock,
                                              PortRecording::Report report, std::string* error,
                                              FileHandle created) {
  const ComPortMap* ports = &options.ports;
  return PortRecording::Start(
      files, options.outputs.record_file, std::string("wsmon ") + kProgramVersion, clock,
      [ports](int port_number) { return ports->PathFor(port_number); }, std::move(report), error,
      created);
}

SerialPort* MonitorPort(SerialPort* real, SerialPort* replay, PortRecording* recording) {
  if (replay != nullptr) return replay;
  if (recording == nullptr) return real;
  recording->SetPort(real);
  return recording->port();
}
