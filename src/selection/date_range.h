// The date-range choices of the left pane: the three range buttons and the two date edits.
// Pure computations here; applying a range to the order table is DateRangeSelector's
// (date_range_selector.h).
//
// A range is given by exclusive bounds low and high: because order dates carry no time,
// the view holds the orders dated low + 1 .. high - 1.
#pragma once

#include <optional>
#include <string>

#include "foundation/dates.h"

namespace mrw::selection {

enum class RangeButton { None, Today, Week, Month };

struct RangeChoice {
  DateTime edit_begin = 0;  // what the two date edits show afterwards
  DateTime edit_end = 0;
  DateTime low = 0;  // exclusive bounds for the filter
  DateTime high = 0;
  std::string status;  // status panel 0
};

// "Heute", "Woche", "30Tage" for the moment `now` (date and time).
RangeChoice TodayRange(DateTime now);
RangeChoice WeekRange(DateTime now);
RangeChoice MonthRange(DateTime now);
RangeChoice ButtonRange(RangeButton button, DateTime now);

// The range typed or picked in the edits (their dates, time ignored). nullopt when the end
// lies before the begin.
std::optional<RangeChoice> EditRange(DateTime begin, DateTime end);

// base + DATE>"low" and DATE<"high" as the order table's filter expression.
std::string DateFilterExpression(const std::string& base_filter, DateTime low, DateTime high);

inline constexpr const char* kNoOrdersWarning = "Für den gewählten Bereich keine Aufträge.";
inline constexpr const char* kEndBeforeBeginMessage = "<B>Startdatum ist kleiner als Enddatum.";

}  // namespace mrw::selection
