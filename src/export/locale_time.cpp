#include "export/locale_time.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>

namespace mrw {
namespace {

constexpr long long kMsPerDay = 86400000LL;

// One locale opened for the time texts and its character set. LC_CTYPE is taken from the
// same name as LC_TIME so that the codeset describes the bytes of the month names.
class TimeLocale {
 public:
  explicit TimeLocale(const std::string& name) {
    if (!name.empty()) loc_ = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, name.c_str(), nullptr);
    if (!loc_) loc_ = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "C", nullptr);
  }
  ~TimeLocale() {
    if (loc_) freelocale(loc_);
  }
  TimeLocale(const TimeLocale&) = delete;
  TimeLocale& operator=(const TimeLocale&) = delete;

  std::string Info(nl_item item) const { return loc_ ? ToUtf8(nl_langinfo_l(item, loc_)) : ""; }

  std::string Format(const std::string& format, const std::tm& tm) const {
    char buf[256];
    size_t n = loc_ ? strftime_l(buf, sizeof buf, format.c_str(), &tm, loc_)
                    : std::strftime(buf, sizeof buf, format.c_str(), &tm);
    return ToUtf8(std::string(buf, n));
  }

  std::string RawInfo(nl_item item) const { return loc_ ? nl_langinfo_l(item, loc_) : ""; }

 private:
  std::string ToUtf8(const std::string& text) const {
    if (!loc_) return text;
    std::string codeset = nl_langinfo_l(CODESET, loc_);
    bool plain = true;
    for (unsigned char c : text) plain = plain && c < 0x80;
    if (plain || codeset == "UTF-8" || codeset == "utf8") return text;
    iconv_t cd = iconv_open("UTF-8", codeset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;
    std::string out(text.size() * 4 + 8, '\0');
    char* in_p = const_cast<char*>(text.data());
    size_t in_left = text.size();
    char* out_p = out.data();
    size_t out_left = out.size();
    size_t rc = iconv(cd, &in_p, &in_left, &out_p, &out_left);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) return text;
    out.resize(out.size() - out_left);
    return out;
  }

  locale_t loc_ = nullptr;
};

// Opening a locale reads its data files; a log of many lines asks for the same one again
// and again, so each name is opened once per thread.
const TimeLocale& LocaleFor(const std::string& name) {
  thread_local std::map<std::string, std::unique_ptr<TimeLocale>> cache;
  std::unique_ptr<TimeLocale>& slot = cache[name];
  if (!slot) slot = std::make_unique<TimeLocale>(name);
  return *slot;
}

struct Moment {
  YMD date;
  int hour, minute, second;
  bool midnight;
};

// Splits a moment at millisecond resolution, so a value a hair below the next minute does
// not show the previous one.
Moment Split(DateTime when) {
  long long total = std::llround(when * static_cast<double>(kMsPerDay));
  long long day = total / kMsPerDay;
  long long ms = total % kMsPerDay;
  if (ms < 0) {
    ms += kMsPerDay;
    --day;
  }
  Moment m{};
  m.date = DecodeDate(static_cast<DateTime>(day));
  m.hour = static_cast<int>(ms / 3600000);
  m.minute = static_cast<int>(ms / 60000 % 60);
  m.second = static_cast<int>(ms / 1000 % 60);
  m.midnight = ms == 0;
  return m;
}

std::string Digits(int v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, v);
  return buf;
}
std::string Two(int v) { return Digits(v, 2); }

}  // namespace

std::string UserTimeLocaleName() {
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return v;
  }
  return "";
}

std::string ShortMonthName(int month) { return ShortMonthName(month, UserTimeLocaleName()); }

std::string ShortMonthName(int month, const std::string& locale_name) {
  if (month < 1 || month > 12) return "";
  return LocaleFor(locale_name).Info(static_cast<nl_item>(ABMON_1 + month - 1));
}

std::string ExportTimeStamp(DateTime when) { return ExportTimeStamp(when, UserTimeLocaleName()); }

std::string ExportTimeStamp(DateTime when, const std::string& locale_name) {
  Moment m = Split(when);
  return std::to_string(m.date.day) + "." + ShortMonthName(m.date.month, locale_name) + "." +
         Digits(m.date.year, 4) + "[" + Two(m.hour) + "." + Two(m.minute) + "]";
}

std::string LongTimeText(DateTime when) { return LongTimeText(when, UserTimeLocaleName()); }

std::string LongTimeText(DateTime when, const std::string& locale_name) {
  Moment m = Split(when);
  const TimeLocale& loc = LocaleFor(locale_name);
  std::string format = loc.RawInfo(T_FMT);
  if (format.empty()) format = "%H:%M:%S";
  std::tm tm{};
  tm.tm_hour = m.hour;
  tm.tm_min = m.minute;
  tm.tm_sec = m.second;
  tm.tm_mday = m.date.day;
  tm.tm_mon = m.date.month - 1;
  tm.tm_year = m.date.year - 1900;
  return loc.Format(format, tm);
}

std::string DateTimeText(DateTime when) { return DateTimeText(when, UserTimeLocaleName()); }

std::string DateTimeText(DateTime when, const std::string& locale_name) {
  Moment m = Split(when);
  std::string text = Two(m.date.day) + "." + Two(m.date.month) + "." + Digits(m.date.year, 4);
  if (!m.midnight) text += " " + LongTimeText(when, locale_name);
  return text;
}

}  // namespace mrw
