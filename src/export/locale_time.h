// Date and time texts of the export that follow the user's locale (LC_TIME from the
// environment: LC_ALL, then LC_TIME, then LANG), as the package name, the export log and
// the order history show them. A locale that is not installed falls back to "C".
// Every text returned is UTF-8.
#pragma once

#include <string>

#include "foundation/dates.h"

namespace mrw {

// The locale's abbreviated month name, month 1..12 ("Dez" for December in German).
std::string ShortMonthName(int month);
std::string ShortMonthName(int month, const std::string& locale_name);

// "d.mmm.yyyy[hh.nn]": day without leading zero, short month name, four-digit year, then
// hour and minute with two digits each: "9.Dez.2024[14.05]".
std::string ExportTimeStamp(DateTime when);
std::string ExportTimeStamp(DateTime when, const std::string& locale_name);

// The locale's long time format (hours, minutes, seconds), e.g. "14:05:09".
std::string LongTimeText(DateTime when);
std::string LongTimeText(DateTime when, const std::string& locale_name);

// Date and time as the system writes a moment as text: "DD.MM.YYYY" and, unless the time
// is exactly midnight, a blank and the long time: "03.04.2024 14:05:09".
std::string DateTimeText(DateTime when);
std::string DateTimeText(DateTime when, const std::string& locale_name);

// The locale name LC_TIME resolves to from the environment ("" when none is set).
std::string UserTimeLocaleName();

}  // namespace mrw
