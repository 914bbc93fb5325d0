// When service mode's runs end: a period counts from its boundary, not from the end of the
// rotation (no drift), a rotation slower than a period is not followed by a short run, and daily
// runs end when the local date changes, however the clock got there.
#include "service/run_rotation.h"

#include "support.h"
#include "support/fakes/manual_clock.h"

namespace {

TEST(RunRotationTest, PeriodsCountFromTheirBoundaryAndDaysFromTheLocalDate) {
  ManualClock clock;
  clock.SetTick(0xFFFFF000U);  // the tick count wraps during the runs
  RotationSchedule every({false, 10}, &clock);
  every.Begin();
  clock.Advance(9999);
  EXPECT_FALSE(every.Due());
  clock.Advance(301);  // due at 10000, rotated by 10300
  ASSERT_TRUE(every.Due());
  every.Passed();
  EXPECT_EQ(every.MillisecondsToBoundary(), 9700);
  clock.Advance(25000);
  every.Passed();
  EXPECT_EQ(every.MillisecondsToBoundary(), 10000);

  clock.SetLocalTime({2026, 3, 6, 28, 23, 59, 59, 0});
  RotationSchedule daily({true, 0}, &clock);
  daily.Begin();
  EXPECT_FALSE(daily.Due());
  clock.SetLocalTime({2026, 3, 0, 29, 0, 0, 0, 0});
  ASSERT_TRUE(daily.Due());
  daily.Passed();
  EXPECT_FALSE(daily.Due());
  clock.SetLocalTime({2026, 4, 3, 1, 0, 0, 5, 0});  // the clock set forward by days
  EXPECT_TRUE(daily.Due());
}

}  // namespace
