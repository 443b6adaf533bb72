#include "selection/order_filter.h"

#include <exception>

namespace mrw::selection {

std::string BuildBaseFilter() {
  return std::string(" (POT<>") + "1" + " ) AND " + " (POT<>" + "5" + ") AND ";
}

void ApplyEmptyFilter(db::Table& orders) {
  orders.SetFilter(kEmptyFilter);
  orders.SetFiltered(true);
}

bool ApplyFilterOrEmpty(db::Table& orders, const std::string& expression) {
  try {
    orders.SetFilter(expression);
    orders.SetFiltered(true);
    return true;
  } catch (const std::exception&) {
    ApplyEmptyFilter(orders);
    return false;
  }
}

bool ReapplyFilter(db::Table& orders) {
  try {
    orders.SetFiltered(false);
    orders.SetFiltered(true);
    return true;
  } catch (const std::exception&) {
    ApplyEmptyFilter(orders);
    return false;
  }
}

}  // namespace mrw::selection
