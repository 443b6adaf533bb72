#include "foundation/dates.h"

#include <gtest/gtest.h>

namespace mrw {
namespace {

DateTime D(const char* text) { return *ParseDateText(text); }

TEST(Dates, TextAndDayZero) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(DateText(0.0), "");
  EXPECT_EQ(DateText(1.0 / 86400000.0 / 2), "");
  EXPECT_EQ(DateText(EncodeDate(2024, 3, 5) + 0.75), "05.03.2024");
  EXPECT_EQ(DateText(EncodeDate(1, 1, 1)), "01.01.0001");
}

TEST(Dates, ParsingRejectsWhatIsNoDate) {
  for (const char* bad : {"", "31.02.2024", "1.1.24", "01-01-2024", "32.01.2024", "a.b.cdef",
                          "01.01.2024.", "29.02.2023"})
    EXPECT_FALSE(ParseDateText(bad).has_value()) << bad;
  EXPECT_EQ(DateText(D("1.3.2024")), "01.03.2024");
  EXPECT_EQ(DateText(D("29.02.2024")), "29.02.2024");
}

TEST(Dates, WeekRunsFromSundayToSaturday) {
  struct Case { const char* day; const char* start; const char* end; } cases[] = {
      {"03.04.2024", "31.03.2024", "06.04.2024"},  // Wednesday
      {"07.04.2024", "07.04.2024", "13.04.2024"},  // Sunday
      {"06.04.2024", "31.03.2024", "06.04.2024"},  // Saturday
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateText(WeekStart(D(c.day))), c.start) << c.day;
    EXPECT_EQ(DateText(WeekEnd(D(c.day))), c.end) << c.day;
  }
  EXPECT_EQ(DayOfWeek(D("07.04.2024")), 1);
}

TEST(Dates, MonthBoundsKeepTheTimeOfDay) {
  struct Case { const char* day; const char* start; const char* end; } cases[] = {
      {"15.03.2024", "01.03.2024", "31.03.2024"}, {"10.02.2024", "01.02.2024", "29.02.2024"},
      {"10.02.1900", "01.02.1900", "28.02.1900"}, {"10.02.2000", "01.02.2000", "29.02.2000"},
      {"30.04.2023", "01.04.2023", "30.04.2023"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DateText(MonthStart(D(c.day))), c.start);
    EXPECT_EQ(DateText(MonthEnd(D(c.day))), c.end);
  }
  EXPECT_DOUBLE_EQ(TimeOf(MonthEnd(D("15.03.2024") + 0.25)), 0.25);
}

}  // namespace
}  // namespace mrw
