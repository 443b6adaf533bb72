// Date values as the system counts them: days since 30.12.1899 with the time of day as
// the fraction (day 0 is 30.12.1899, the value a text that is no date reads as).
// The short date format is "DD.MM.YYYY".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mrw {

using DateTime = double;

struct YMD {
  int year;
  int month;  // 1..12
  int day;    // 1..31
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool IsValidDate(int year, int month, int day);

// Throws mrw::Error for a date that does not exist.
DateTime EncodeDate(int year, int month, int day);
YMD DecodeDate(DateTime d);
// The date part (midnight) and the time-of-day part of a value.
DateTime DateOf(DateTime d);
double TimeOf(DateTime d);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(DateTime d);

// "" when |d| is below one millisecond or d is out of range; else "DD.MM.YYYY".
std::string DateText(DateTime d);
// Reads "DD.MM.YYYY" (one or two digit day and month, four-digit year; surrounding blanks
// allowed). nullopt for anything else or a date that does not exist.
std::optional<DateTime> ParseDateText(std::string_view text);

DateTime WeekStart(DateTime d);  // the Sunday on or before d
DateTime WeekEnd(DateTime d);    // the Saturday on or after d
DateTime MonthStart(DateTime d); // the first of d's month, with d's time of day
DateTime MonthEnd(DateTime d);   // the last of d's month, with d's time of day

// The current local date and time.
DateTime NowLocal();

}  // namespace mrw
