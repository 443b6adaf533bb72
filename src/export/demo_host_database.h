// A complete, deterministic host database folder for trying and testing the wizard:
// Auftraege.ADT (with EXTB), Adressen.ADT and setup.ADT (rows 15000, 15001, 1), the
// letter folders ORDER_LETTERS and ORDER_LETTERS_LAST and attachment folders
// L2ROOT_ORDER/<ID>/.
//
// The orders are dated over the 60 days up to `today` and a few days after it, carry
// every type code 1..13 plus codes with high bits (130, 133) and statuses 0, 1 and 2;
// several orders share an address and some refer to addresses that do not exist; EXTB
// holds letter references to existing and missing files, "tempfile://" references, empty
// and damaged content or nothing at all. The order table carries the index tags of the
// export order table, the address table the tag ID, setup.ADT the tag IDENT.
//
// The same options give the same database (apart from file times). The first orders
// cover every variety, so even a database of a dozen orders has each kind.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/dates.h"

namespace mrw {

struct DemoDatabaseOptions {
  int orders = 2000;
  uint64_t seed = 1;
  DateTime today = 0;  // the reference date; 0 means today's local date
};

struct DemoDatabaseSummary {
  int orders = 0;
  int addresses = 0;
  int orders_without_address = 0;  // AdressID names no address row
  int letter_files = 0;            // files in ORDER_LETTERS and ORDER_LETTERS_LAST
  int attachment_folders = 0;      // L2ROOT_ORDER/<ID>/ folders (some of them empty)
};

// Creates the database in `folder` (made when missing). Refuses, with mrw::Error, a
// folder that already holds any of the three tables, so an existing database is never
// overwritten. Throws mrw::Error for bad options or when a file cannot be written.
DemoDatabaseSummary CreateDemoHostDatabase(const std::string& folder, const DemoDatabaseOptions& options);

}  // namespace mrw
