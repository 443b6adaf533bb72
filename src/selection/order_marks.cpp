#include "selection/order_marks.h"

#include <algorithm>

#include "foundation/codepage.h"

namespace mrw::selection {

bool OrderMarks::MarkCurrent(db::Table& orders) {
  if (orders.IsEmpty() || orders.Eof()) return false;
  db::Bookmark bookmark = orders.GetBookmark();
  if (IsMarked(bookmark)) return false;
  marks_.push_back({bookmark, orders.FieldByName("ID_ORDER").AsString()});
  return true;
}

bool OrderMarks::Unmark(db::Bookmark bookmark) {
  auto it = std::find_if(marks_.begin(), marks_.end(),
                         [&](const OrderMark& m) { return m.bookmark == bookmark; });
  if (it == marks_.end()) return false;
  marks_.erase(it);
  return true;
}

bool OrderMarks::IsMarked(db::Bookmark bookmark) const {
  return std::any_of(marks_.begin(), marks_.end(),
                     [&](const OrderMark& m) { return m.bookmark == bookmark; });
}

std::vector<db::Bookmark> OrderMarks::Bookmarks() const {
  std::vector<db::Bookmark> out;
  out.reserve(marks_.size());
  for (const auto& m : marks_) out.push_back(m.bookmark);
  return out;
}

std::optional<std::string> IndexTagForTitle(const std::string& field_name) {
  const std::string upper = Utf8AnsiUpper(field_name);
  if (upper == "ID_ORDER") return "ID_ORDER";
  if (upper == "TYP") return "GTYP";
  if (upper == "STATUSTEXT") return "STATUS";
  if (upper == "DATE") return "DATE";
  if (upper == "OPEN_") return "OPEN_";
  return std::nullopt;
}

}  // namespace mrw::selection
