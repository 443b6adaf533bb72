#include "selection/date_range.h"

#include <gtest/gtest.h>

namespace mrw::selection {
namespace {

DateTime D(int y, int m, int d) { return EncodeDate(y, m, d); }

struct ButtonCase {
  RangeButton button;
  DateTime now;
  DateTime first_shown, last_shown;  // the days the view holds
  DateTime edit_begin, edit_end;
  std::string status;
};

TEST(DateRange, ButtonsComputeEditsBoundsAndText) {
  const double afternoon = 14.5 / 24;
  const ButtonCase cases[] = {
      // Wednesday: the week runs from the Sunday before to the Saturday after.
      {RangeButton::Week, D(2024, 4, 3) + afternoon, D(2024, 3, 31), D(2024, 4, 6),
       D(2024, 3, 31), D(2024, 4, 6), " Woche vom 31.03.2024 bis 06.04.2024"},
      // Sunday starts its own week, Saturday ends it.
      {RangeButton::Week, D(2024, 4, 7), D(2024, 4, 7), D(2024, 4, 13), D(2024, 4, 7),
       D(2024, 4, 13), " Woche vom 07.04.2024 bis 13.04.2024"},
      {RangeButton::Week, D(2024, 4, 6), D(2024, 3, 31), D(2024, 4, 6), D(2024, 3, 31),
       D(2024, 4, 6), " Woche vom 31.03.2024 bis 06.04.2024"},
      // 31 days up to today, while the text names the calendar month (leap February).
      {RangeButton::Month, D(2024, 3, 15) + afternoon, D(2024, 2, 14), D(2024, 3, 15),
       D(2024, 2, 14), D(2024, 3, 15), " Monat vom 01.03.2024 bis 31.03.2024"},
      {RangeButton::Month, D(2023, 2, 10), D(2023, 1, 11), D(2023, 2, 10), D(2023, 1, 11),
       D(2023, 2, 10), " Monat vom 01.02.2023 bis 28.02.2023"},
      // Today: the edits get the moment itself.
      {RangeButton::Today, D(2024, 4, 3) + afternoon, D(2024, 4, 3), D(2024, 4, 3),
       D(2024, 4, 3) + afternoon, D(2024, 4, 3) + afternoon, " Heute: 03.04.2024"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    RangeChoice r = ButtonRange(c.button, c.now);
    EXPECT_EQ(r.low + 1, c.first_shown);
    EXPECT_EQ(r.high - 1, c.last_shown);
    EXPECT_DOUBLE_EQ(r.edit_begin, c.edit_begin);
    EXPECT_DOUBLE_EQ(r.edit_end, c.edit_end);
    EXPECT_EQ(r.status, c.status);
  }
}

TEST(DateRange, EditsGiveInclusiveRangeAndRefuseEndBeforeBegin) {
  auto same = EditRange(D(2024, 3, 5) + 0.75, D(2024, 3, 5));
  ASSERT_TRUE(same);
  EXPECT_EQ(same->low, D(2024, 3, 4));
  EXPECT_EQ(same->high, D(2024, 3, 6));
  EXPECT_EQ(same->status, " Bereich vom 05.03.2024 bis 05.03.2024");

  EXPECT_FALSE(EditRange(D(2024, 3, 5), D(2024, 3, 4)));
}

TEST(DateRange, FilterExpressionHasTheExclusiveBoundsQuoted) {
  EXPECT_EQ(DateFilterExpression(" (POT<>1 ) AND  (POT<>5) AND ", D(2024, 3, 4), D(2024, 3, 6)),
            " (POT<>1 ) AND  (POT<>5) AND DATE>\"04.03.2024\" and DATE<\"06.03.2024\"");
}

}  // namespace
}  // namespace mrw::selection
