// The filter expressions of the order table. Every expression starts with the base filter
// that keeps invoices and credit notes (types 1 and 5) out of every view; "POT=1000" is
// the fallback that shows nothing, used whenever the engine refuses an expression.
#pragma once

#include <string>

#include "db/table.h"

namespace mrw::selection {

// " (POT<>1 ) AND  (POT<>5) AND " (blanks as they are).
std::string BuildBaseFilter();

inline constexpr const char* kEmptyFilter = "POT=1000";

// Filter "POT=1000" and filtering on.
void ApplyEmptyFilter(db::Table& orders);

// Sets `expression` and switches filtering on; when the engine refuses it, the empty
// filter instead. False in that case.
bool ApplyFilterOrEmpty(db::Table& orders, const std::string& expression);

// Switches filtering off and on again so the row callback is asked anew; the empty filter
// when that fails. False in that case.
bool ReapplyFilter(db::Table& orders);

}  // namespace mrw::selection
