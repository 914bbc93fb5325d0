// How the monitor tells its front end of a problem that its message boxes do not say: why a file
// could not be written (a full disk, a removed directory), that a run's journal was recovered or
// damaged. One line of text each; the front end shows it where its user looks (standard error,
// a status line, the debugger's output).
#pragma once

#include <functional>
#include <string>

class Reporter {
 public:
  virtual ~Reporter() = default;
  virtual void Report(const std::string& text) = 0;
};

// A reporter made of a function.
class FunctionReporter : public Reporter {
 public:
  explicit FunctionReporter(std::function<void(const std::string&)> report)
      : report_(std::move(report)) {}
  void Report(const std::string& text) override {
    if (report_) report_(text);
  }

 private:
  std::function<void(const std::string&)> report_;
};

// Tells the platform's reporter one line (nothing when there is none).
void ReportLine(const std::string& text);
