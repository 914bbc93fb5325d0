// The CSV files and the JSON Lines file of the Windows program wait for the portable file
// interface that the run's journal brings; until then they say so instead of writing.
#include "outputs/csv_row_file.h"
#include "outputs/line_output.h"

bool CsvRowFile::Begin(const char*, std::string* problem) {
  *problem = "--csv: not available in this build of wsmon.exe yet";
  return false;
}

void CsvRowFile::Append(const char*, std::size_t) {}

bool CsvRowFile::Publish(const std::string&, std::string*, std::string* problem) {
  *problem = "--csv: not available in this build of wsmon.exe yet";
  return false;
}

void CsvRowFile::Discard() {}

LineOutput::LineOutput(int descriptor) : fd_(descriptor) {}

LineOutput::~LineOutput() = default;

bool LineOutput::Open(const std::string& file, std::string* error) {
  *error = "--json " + file + ": not available in this build of wsmon.exe yet";
  return false;
}

std::size_t LineOutput::chunk(std::size_t limit) const {
  return limit;
}

long LineOutput::Write(const char*, std::size_t, int*) {
  return -1;
}

void LineOutput::WaitWritable(int) {}

std::string LineOutput::ErrorText(int error) {
  return "error " + std::to_string(error);
}
