// Where the controller gets "now" from: the real local time in the program, a fixed or
// stepped value in tests and for `mrw export --today`.
#pragma once

#include "foundation/dates.h"

namespace mrw::shell {

class Clock {
 public:
  virtual ~Clock() = default;
  // The current local date and time as a date value.
  virtual DateTime Now() const = 0;
};

class SystemClock final : public Clock {
 public:
  DateTime Now() const override { return NowLocal(); }
};

// Always answers the value it was given (or last set to).
class FixedClock final : public Clock {
 public:
  explicit FixedClock(DateTime now) : now_(now) {}
  void Set(DateTime now) { now_ = now; }
  DateTime Now() const override { return now_; }

 private:
  DateTime now_;
};

// The real time of day on a chosen calendar day: the date ranges see that day, the times
// written into logs and package names still move.
class ShiftedDayClock final : public Clock {
 public:
  explicit ShiftedDayClock(DateTime day) : day_(DateOf(day)) {}
  DateTime Now() const override { return day_ + TimeOf(NowLocal()); }

 private:
  DateTime day_;
};

}  // namespace mrw::shell
