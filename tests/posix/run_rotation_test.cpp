// When service mode's runs end: the period counts from the first start without drifting, a
// rotation slower than the period does not make the next run short, and daily runs end when
// the local date changes, however the clock got there.
#include "frontend/headless/run_rotation.h"

#include "support.h"
#include "support/fakes/manual_clock.h"

namespace {

TEST(RunRotationTest, APeriodCountsFromTheFirstStartAndALateRotationDoesNotShortenTheNext) {
  ManualClock clock;
  clock.SetTick(0xFFFFF000U);  // the tick count wraps during the runs
  RotationSchedule schedule({false, 10}, &clock);
  schedule.Begin();
  clock.Advance(9999);
  EXPECT_FALSE(schedule.Due());
  EXPECT_EQ(schedule.MillisecondsToBoundary(), 1);
  clock.Advance(1);
  EXPECT_TRUE(schedule.Due());
  clock.Advance(300);  // the stop's export took its time
  schedule.Passed();
  EXPECT_EQ(schedule.MillisecondsToBoundary(), 9700);  // from the boundary, not from now
  clock.Advance(25000);                                // a rotation longer than two periods
  ASSERT_TRUE(schedule.Due());
  schedule.Passed();
  EXPECT_FALSE(schedule.Due());
  EXPECT_EQ(schedule.MillisecondsToBoundary(), 10000);
}

TEST(RunRotationTest, DailyRunsEndWhenTheLocalDateChanges) {
  ManualClock clock;
  clock.SetLocalTime({2026, 3, 6, 28, 23, 59, 59, 0});
  RotationSchedule daily({true, 0}, &clock);
  daily.Begin();
  EXPECT_FALSE(daily.Due());
  clock.SetLocalTime({2026, 3, 0, 29, 0, 0, 0, 0});
  ASSERT_TRUE(daily.Due());
  daily.Passed();
  EXPECT_FALSE(daily.Due());
  clock.SetLocalTime({2026, 3, 0, 29, 23, 0, 0, 0});
  EXPECT_FALSE(daily.Due());
  EXPECT_GT(daily.MillisecondsToBoundary(), 0);
  clock.SetLocalTime({2026, 4, 3, 1, 0, 0, 5, 0});  // the clock set forward by days
  EXPECT_TRUE(daily.Due());
  RotationSchedule none({}, &clock);
  none.Begin();
  EXPECT_FALSE(none.Due());
  EXPECT_EQ(none.MillisecondsToBoundary(), -1);
}

}  // namespace
