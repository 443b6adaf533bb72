// DOS date and time as the archive stores them: one Int32 with the seconds divided by 2
// (bits 0-4), minute (5-10), hour (11-15), day (16-20), month (21-24) and years since
// 1980 (25-31), in local time. -1 stands for a time that cannot be read or represented.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace mrw::archive {

inline constexpr std::int32_t kNoDosTime = -1;

// The local DOS date and time of a moment; -1 outside 1980-01-01 .. 2107-12-31.
std::int32_t DosDateTimeFromTime(std::time_t moment);

// The last-write time of a file (links followed) as DOS date and time; -1 when it cannot
// be read.
std::int32_t DosDateTimeOfFile(const std::string& path);
std::int32_t DosDateTimeOfDescriptor(int fd);

// True for -1 and for values whose fields form a real calendar date and time of day.
bool IsValidDosDateTime(std::int32_t value);

// The moment a valid DOS value names in local time; nullopt for -1 or invalid values.
std::optional<std::time_t> TimeFromDosDateTime(std::int32_t value);

// "DD.MM.YYYY HH:MM:SS", or "-" for -1 (and "?" plus the number for an invalid value).
std::string DosDateTimeText(std::int32_t value);

}  // namespace mrw::archive
