// Counting the driver's checks and reporting them as a test runner does.
#pragma once

#include <cstdio>
#include <string>

class Checks {
 public:
  // Begins a phase: a header line, and the phase named in every failure until the next one.
  void Phase(const std::string& name) {
    phase_ = name;
    std::printf("== %s\n", name.c_str());
    std::fflush(stdout);
  }

  // Records one check; a failed one is reported with its phase and its detail.
  bool Expect(bool ok, const std::string& what, const std::string& detail = std::string()) {
    if (ok) {
      ++passed_;
      std::printf("ok   %s\n", what.c_str());
    } else {
      ++failed_;
      std::printf("FAIL [%s] %s%s%s\n", phase_.c_str(), what.c_str(), detail.empty() ? "" : ": ",
                  detail.c_str());
    }
    std::fflush(stdout);
    return ok;
  }

  // Compares two texts and shows both when they differ.
  bool ExpectEqual(const std::string& actual, const std::string& expected,
                   const std::string& what) {
    return Expect(actual == expected, what, "got \"" + actual + "\", want \"" + expected + "\"");
  }

  void Note(const std::string& text) {
    std::printf("     %s\n", text.c_str());
    std::fflush(stdout);
  }

  int passed() const { return passed_; }
  int failed() const { return failed_; }

 private:
  std::string phase_;
  int passed_ = 0;
  int failed_ = 0;
};
