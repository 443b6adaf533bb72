#include "selection/date_range_selector.h"

#include "selection/order_filter.h"

namespace mrw::selection {

void DateRangeSelector::WriteEdits(DateTime begin, DateTime end) {
  edit_begin_ = begin;
  edit_end_ = end;
  guard_ = true;
  try {
    ui_.SetDateEdits(begin, end);
  } catch (...) {
    guard_ = false;
    throw;
  }
  guard_ = false;
}

void DateRangeSelector::ClickButton(RangeButton button, DateTime now) {
  if (button == RangeButton::None) return;
  ui_.SetStatusText(1, "");
  if (pressed_ != button) {
    pressed_ = button;
    ui_.SetRangeButtonDown(button);
  }
  RangeChoice r = ButtonRange(button, now);
  WriteEdits(r.edit_begin, r.edit_end);
  ApplyDateRange(r.low, r.high, r.status);
}

void DateRangeSelector::BeginChanged(DateTime shown) {
  if (guard_) return;
  edit_begin_ = shown;
  EditsChanged();
}

void DateRangeSelector::EndChanged(DateTime shown) {
  if (guard_) return;
  edit_end_ = shown;
  EditsChanged();
}

void DateRangeSelector::EditsChanged() {
  auto r = EditRange(edit_begin_, edit_end_);
  if (!r) {
    ui_.ShowMessage(kEndBeforeBeginMessage);
    return;
  }
  ui_.SetStatusText(1, "");
  ApplyDateRange(r->low, r->high, r->status);
  pressed_ = RangeButton::None;
  ui_.SetRangeButtonDown(RangeButton::None);
}

void DateRangeSelector::ApplyDateRange(DateTime low, DateTime high, const std::string& text) {
  ApplyFilterOrEmpty(orders_, DateFilterExpression(base_filter_, low, high));
  ui_.OrdersChanged();
  ui_.SetStatusText(0, text);
  ui_.SetExportButtonsEnabled(true);
  marks_.Clear();
  ui_.MarksCleared();
  if (orders_.IsEmpty()) {
    ui_.SetExportButtonsEnabled(false);
    ui_.SetStatusText(1, kNoOrdersWarning);
  }
}

}  // namespace mrw::selection
