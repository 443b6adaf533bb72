#include "foundation/dates.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "foundation/errors.h"

namespace mrw {
namespace {

namespace chr = std::chrono;

// 30.12.1899 counted from 01.01.1970.
constexpr int kEpochShift = 25569;
// 01.01.0001 .. 31.12.9999 as day counts, the range a date value may name.
constexpr double kMinDay = -693593;
constexpr double kMaxDay = 2958465;

chr::year_month_day ToYmd(double day) {
  return chr::year_month_day{chr::sys_days{chr::days{static_cast<long>(day) - kEpochShift}}};
}

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

DateTime EncodeDate(int year, int month, int day) {
  if (!IsValidDate(year, month, day)) throw Error("Ungültiges Datum");
  chr::sys_days sd{chr::year{year} / chr::month{static_cast<unsigned>(month)} /
                   chr::day{static_cast<unsigned>(day)}};
  return static_cast<double>(sd.time_since_epoch().count() + kEpochShift);
}

DateTime DateOf(DateTime d) { return std::floor(d); }
double TimeOf(DateTime d) { return d - std::floor(d); }

YMD DecodeDate(DateTime d) {
  auto ymd = ToYmd(std::floor(d));
  return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

int DayOfWeek(DateTime d) {
  chr::weekday wd{chr::sys_days{chr::days{static_cast<long>(std::floor(d)) - kEpochShift}}};
  return static_cast<int>(wd.c_encoding()) + 1;
}

std::string DateText(DateTime d) {
  if (std::fabs(d) < 1.0 / 86400000.0 || !(d >= kMinDay && d < kMaxDay + 1)) return "";
  YMD v = DecodeDate(d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", v.day, v.month, v.year);
  return buf;
}

std::optional<DateTime> ParseDateText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int parts[3] = {0, 0, 0};
  int digits[3] = {0, 0, 0};
  int idx = 0;
  for (char c : text) {
    if (c == '.') {
      if (++idx > 2) return std::nullopt;
    } else if (c >= '0' && c <= '9') {
      if (++digits[idx] > 4) return std::nullopt;
      parts[idx] = parts[idx] * 10 + (c - '0');
    } else {
      return std::nullopt;
    }
  }
  if (idx != 2 || digits[0] < 1 || digits[0] > 2 || digits[1] < 1 || digits[1] > 2 ||
      digits[2] != 4)
    return std::nullopt;
  if (!IsValidDate(parts[2], parts[1], parts[0])) return std::nullopt;
  return EncodeDate(parts[2], parts[1], parts[0]);
}

DateTime WeekStart(DateTime d) { return d - DayOfWeek(d) + 1; }
DateTime WeekEnd(DateTime d) { return d - DayOfWeek(d) + 7; }

DateTime MonthStart(DateTime d) {
  YMD v = DecodeDate(d);
  return EncodeDate(v.year, v.month, 1) + TimeOf(d);
}

DateTime MonthEnd(DateTime d) {
  YMD v = DecodeDate(d);
  return EncodeDate(v.year, v.month, DaysInMonth(v.year, v.month)) + TimeOf(d);
}

DateTime NowLocal() {
  std::timespec ts{};
  std::timespec_get(&ts, TIME_UTC);
  std::tm tm{};
  localtime_r(&ts.tv_sec, &tm);
  double day = EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  double secs = tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec + ts.tv_nsec / 1e9;
  return day + secs / 86400.0;
}

}  // namespace mrw
