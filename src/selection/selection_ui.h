// What the selection handlers (date range, type filter, grid) need from the window. The
// controller implements it by forwarding to its view. Texts are UTF-8.
#pragma once

#include <string>

#include "foundation/dates.h"
#include "selection/date_range.h"

namespace mrw::selection {

class SelectionUi {
 public:
  virtual ~SelectionUi() = default;
  // Status bar panel 0 (range and mode) and panel 1 (warnings).
  virtual void SetStatusText(int panel, const std::string& text) = 0;
  // "Speichern" (fbsave) and "Senden" (fbsend) together.
  virtual void SetExportButtonsEnabled(bool enabled) = 0;
  virtual void SetRangeButtonDown(RangeButton button) = 0;
  // The caller guards these writes against its own change handlers.
  virtual void SetDateEdits(DateTime begin, DateTime end) = 0;
  virtual void ShowMessage(const std::string& html) = 0;
  // The order table's view changed (filter or sort order).
  virtual void OrdersChanged() = 0;
  virtual void MarksCleared() = 0;
};

}  // namespace mrw::selection
