#include "archive/dos_time.h"

#include <sys/stat.h>

#include <cstdio>

namespace mrw::archive {

namespace {

struct DosFields {
  int year, month, day, hour, minute, second;
};

DosFields Split(std::int32_t value) {
  auto u = static_cast<std::uint32_t>(value);
  return {static_cast<int>((u >> 25) & 0x7F) + 1980, static_cast<int>((u >> 21) & 0x0F),
          static_cast<int>((u >> 16) & 0x1F),        static_cast<int>((u >> 11) & 0x1F),
          static_cast<int>((u >> 5) & 0x3F),         static_cast<int>(u & 0x1F) * 2};
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::int32_t DosDateTimeFromTime(std::time_t moment) {
  std::tm local{};
  if (!localtime_r(&moment, &local)) return kNoDosTime;
  int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return kNoDosTime;
  // A leap second (tm_sec 60) has no DOS form; it counts as the last even second.
  int second = local.tm_sec > 59 ? 59 : local.tm_sec;
  std::uint32_t u = (static_cast<std::uint32_t>(year - 1980) << 25) |
                    (static_cast<std::uint32_t>(local.tm_mon + 1) << 21) |
                    (static_cast<std::uint32_t>(local.tm_mday) << 16) |
                    (static_cast<std::uint32_t>(local.tm_hour) << 11) |
                    (static_cast<std::uint32_t>(local.tm_min) << 5) |
                    static_cast<std::uint32_t>(second / 2);
  return static_cast<std::int32_t>(u);
}

std::int32_t DosDateTimeOfFile(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return kNoDosTime;
  return DosDateTimeFromTime(st.st_mtime);
}

std::int32_t DosDateTimeOfDescriptor(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return kNoDosTime;
  return DosDateTimeFromTime(st.st_mtime);
}

bool IsValidDosDateTime(std::int32_t value) {
  if (value == kNoDosTime) return true;
  DosFields f = Split(value);
  return f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= DaysInMonth(f.year, f.month) &&
         f.hour <= 23 && f.minute <= 59 && f.second <= 58;
}

std::optional<std::time_t> TimeFromDosDateTime(std::int32_t value) {
  if (value == kNoDosTime || !IsValidDosDateTime(value)) return std::nullopt;
  DosFields f = Split(value);
  std::tm local{};
  local.tm_year = f.year - 1900;
  local.tm_mon = f.month - 1;
  local.tm_mday = f.day;
  local.tm_hour = f.hour;
  local.tm_min = f.minute;
  local.tm_sec = f.second;
  local.tm_isdst = -1;
  std::time_t moment = mktime(&local);
  if (moment == static_cast<std::time_t>(-1)) return std::nullopt;
  return moment;
}

std::string DosDateTimeText(std::int32_t value) {
  if (value == kNoDosTime) return "-";
  if (!IsValidDosDateTime(value)) return "?" + std::to_string(value);
  DosFields f = Split(value);
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", f.day, f.month, f.year,
                f.hour, f.minute, f.second);
  return text;
}

}  // namespace mrw::archive
