#include "selection/date_range.h"

namespace mrw::selection {

RangeChoice TodayRange(DateTime now) {
  DateTime t = DateOf(now);
  // The edits get the date and time; they show (and later read back) the date only.
  return {now, now, t - 1, t + 1, " Heute: " + DateText(t)};
}

RangeChoice WeekRange(DateTime now) {
  DateTime t = DateOf(now);
  DateTime first = WeekStart(t), last = WeekEnd(t);
  return {first, last, first - 1, last + 1,
          " Woche vom " + DateText(first) + " bis " + DateText(last)};
}

RangeChoice MonthRange(DateTime now) {
  DateTime t = DateOf(now);
  // The view holds the 31 days up to today; the text names the calendar month.
  return {t - 30, t, t - 31, t + 1,
          " Monat vom " + DateText(MonthStart(t)) + " bis " + DateText(MonthEnd(t))};
}

RangeChoice ButtonRange(RangeButton button, DateTime now) {
  switch (button) {
    case RangeButton::Week:
      return WeekRange(now);
    case RangeButton::Month:
      return MonthRange(now);
    default:
      return TodayRange(now);
  }
}

std::optional<RangeChoice> EditRange(DateTime begin, DateTime end) {
  DateTime b = DateOf(begin), e = DateOf(end);
  if (e < b) return std::nullopt;
  return RangeChoice{b, e, b - 1, e + 1, " Bereich vom " + DateText(b) + " bis " + DateText(e)};
}

std::string DateFilterExpression(const std::string& base_filter, DateTime low, DateTime high) {
  return base_filter + "DATE>\"" + DateText(low) + "\" and DATE<\"" + DateText(high) + "\"";
}

}  // namespace mrw::selection
