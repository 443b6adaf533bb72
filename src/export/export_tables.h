// Creation and deletion of the export database's tables (Adressen and Auftraege).
//
// Each export table is a structure copy of the host table of the same name: the same
// fields in the same order (EXTB included where the host order table has it), no rows,
// no tags, auto-increment numbering from 1. The export address table then has its ID
// turned into a plain integer, so addresses keep their host IDs; the export order table
// keeps ID as auto-increment, so copied orders are numbered anew. The index tags are
// those of record_layout.h, created in their listed order.
//
// Files are created and deleted under the names "Adressen.ADT/.ADM/.ADI" and
// "Auftraege.ADT/.ADM/.ADI" (leftovers in another letter case are removed as well).
#pragma once

#include <functional>
#include <string>

#include "db/connection.h"

namespace mrw {

// Shows a failure text to the user (the GUI puts it into the HTML message box).
using ExportTablesMessage = std::function<void(const std::string& text)>;

// `source` is the host connection, `target` the export connection whose folder is
// `folder` (both open). The address table is created first; when it fails the order
// table is not attempted. A failure of either table shows "Table Adressen.ADT Could Not
// Be Created" or "Table Auftraege.ADT Could Not Be Created" through `message` (when
// set) and then rethrows the error.
void CreateExportTables(db::Connection& source, db::Connection& target, const std::string& folder,
                        const ExportTablesMessage& message);
void CreateAddressTable(db::Connection& source, db::Connection& target, const std::string& folder,
                        const ExportTablesMessage& message);
void CreateOrderTable(db::Connection& source, db::Connection& target, const std::string& folder,
                      const ExportTablesMessage& message);

// Deletes the six files of the two export tables in `folder`; missing files and files
// that cannot be deleted are passed over silently.
void DeleteExportTables(const std::string& folder);

}  // namespace mrw
