// The date-range handlers of the left pane applied to the order table: the range buttons
// ("Heute", "Woche", "30Tage") and the two date edits. Each choice sets the filter
// (base filter + date bounds; the empty filter when the engine refuses it), tells the
// range in status panel 0, forgets the grid's marks and enables "Speichern"/"Senden" only
// when orders are left (else the red warning in panel 1).
//
// The date edits' guard: while this selector writes into the edits, their change handlers
// do nothing.
#pragma once

#include <string>

#include "db/table.h"
#include "selection/date_range.h"
#include "selection/order_marks.h"
#include "selection/selection_ui.h"

namespace mrw::selection {

class DateRangeSelector {
 public:
  DateRangeSelector(db::Table& orders, OrderMarks& marks, SelectionUi& ui, std::string base_filter)
      : orders_(orders), marks_(marks), ui_(ui), base_filter_(std::move(base_filter)) {}

  // A click on a range button at the moment `now`: presses it and applies its range (a
  // click on the pressed button applies it again with the then current date).
  void ClickButton(RangeButton button, DateTime now);

  // The change handlers of the two edits with the date the edit now shows. End before
  // begin: the message, and nothing else changes.
  void BeginChanged(DateTime shown);
  void EndChanged(DateTime shown);

  // The shared step: filter, status text, buttons, marks.
  void ApplyDateRange(DateTime low, DateTime high, const std::string& text);

  RangeButton PressedButton() const { return pressed_; }
  DateTime EditBegin() const { return edit_begin_; }
  DateTime EditEnd() const { return edit_end_; }

 private:
  void EditsChanged();
  void WriteEdits(DateTime begin, DateTime end);

  db::Table& orders_;
  OrderMarks& marks_;
  SelectionUi& ui_;
  std::string base_filter_;
  RangeButton pressed_ = RangeButton::None;
  DateTime edit_begin_ = 0;
  DateTime edit_end_ = 0;
  bool guard_ = false;
};

}  // namespace mrw::selection
