#include "service/run_rotation.h"

#include <cctype>

namespace {

// Checked once a second at most in daily mode: the local date is read anew each time, so that
// a change of daylight saving time or of the clock itself moves the boundary with it.
constexpr long kDailyCheckMs = 1000;

}  // namespace

bool ParseRotation(const std::string& text, RotationPeriod* period, std::string* error) {
  const char* const expected =
      "daily, or a period of N hours, minutes or seconds such as 6h, 30m or 90s (at most 30 "
      "days)";
  *period = RotationPeriod{};
  if (text == "daily") {
    period->daily = true;
    return true;
  }
  std::uint64_t n = 0;
  std::size_t i = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
    n = n * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (n > kMaxRotationSeconds) break;
  }
  std::uint64_t unit = 0;
  if (i > 0 && i + 1 == text.size()) {
    unit = text[i] == 'h' ? 3600 : text[i] == 'm' ? 60 : text[i] == 's' ? 1 : 0;
  }
  if (unit == 0 || n == 0 || n * unit > kMaxRotationSeconds) {
    *error = "--rotate: \"" + text + "\" is not " + expected;
    return false;
  }
  period->every_s = static_cast<std::uint32_t>(n * unit);
  return true;
}

OptionRow RotateOptionRow(bool* given, RotationPeriod* period) {
  return Custom("--rotate",
                [given, period](const std::string& value, std::string* error) {
                  *given = true;
                  return ParseRotation(value, period, error);
                })
      .Missing("--rotate needs a value: daily, or a period such as 6h")
      .Help(
          "  --rotate daily|Nh\n"
          "                   with --run: stop the run (exporting it) and start the next at once, "
          "losing\n"
          "                   no byte between them, at every local midnight or every N hours from "
          "the\n"
          "                   first start (also Nm and Ns: minutes, seconds); --json FILE and "
          "--record\n"
          "                   FILE then make one file per run, named after it\n");
}

void RotationSchedule::Begin() {
  period_start_tick_ = clock_->TickCount();
  day_ = clock_->Now();
}

bool RotationSchedule::Due() {
  if (period_.daily) return !SameDay(clock_->Now(), day_);
  if (period_.every_s == 0) return false;
  return clock_->TickCount() - period_start_tick_ >= PeriodMs();
}

void RotationSchedule::Passed() {
  if (period_.daily) {
    day_ = clock_->Now();
    return;
  }
  const std::uint32_t now = clock_->TickCount();
  period_start_tick_ += PeriodMs();
  // A rotation that took longer than a period would otherwise be followed by another at once:
  // the next run is a whole period long instead.
  if (now - period_start_tick_ >= PeriodMs()) period_start_tick_ = now;
}

long RotationSchedule::MillisecondsToBoundary() {
  if (period_.daily) return kDailyCheckMs;
  if (period_.every_s == 0) return -1;
  const std::uint32_t since = clock_->TickCount() - period_start_tick_;
  return since >= PeriodMs() ? 0 : static_cast<long>(PeriodMs() - since);
}
