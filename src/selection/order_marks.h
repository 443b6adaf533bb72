// The order grid's marks and sort order, and the selection handed to the export.
//
// Marks are row positions (bookmarks of the order table) in the order they were marked,
// each with its label (the row's ID_ORDER); a row is marked at most once. The export takes
// the marked rows in marking order, or every row of the view when none is marked.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "db/table.h"

namespace mrw::selection {

struct OrderMark {
  db::Bookmark bookmark = 0;
  std::string label;  // ID_ORDER as text
};

class OrderMarks {
 public:
  // Marks the order table's current row (label from its ID_ORDER). False when it was
  // marked already or the table stands on no row.
  bool MarkCurrent(db::Table& orders);
  // Removes a mark; false when the row was not marked.
  bool Unmark(db::Bookmark bookmark);
  bool IsMarked(db::Bookmark bookmark) const;
  void Clear() { marks_.clear(); }

  size_t Count() const { return marks_.size(); }
  const std::vector<OrderMark>& Marks() const { return marks_; }
  // The bookmarks in marking order.
  std::vector<db::Bookmark> Bookmarks() const;

 private:
  std::vector<OrderMark> marks_;
};

// The index tag a click on the title of the column showing `field_name` selects
// ("ID_ORDER", "GTYP", "STATUS", "DATE", "OPEN_"); nullopt: the order stays unchanged.
std::optional<std::string> IndexTagForTitle(const std::string& field_name);

// The grid's columns: field and title.
struct GridColumn {
  const char* field;
  const char* title;
};
inline constexpr GridColumn kGridColumns[] = {
    {"ID_ORDER", "Nummer"}, {"Typ", "Typ"}, {"Date", "Datum"}, {"KNR", "Kundenn."}, {"AdressName", "Name"}};

}  // namespace mrw::selection
