// The transfer of the chosen host orders into a fresh export database in the work folder.
//
// TransferOrders creates the export tables anew (work folder + "MRW/"), copies each chosen
// order row into the export order table (which numbers it anew), the address of each
// order once into the export address table, and the order's first and last letter files
// into the work folder; the export state records which host order became which export
// order. The chosen orders are the selected rows in marking order, or, when none is
// selected, every row of the host order table's current view from first to last.
//
// Failures:
//   - the export database cannot be set up: "Export-Datenbank Fehler." is shown, the main
//     window is closed and the result is false;
//   - anything that goes wrong while copying (a selected row that can no longer be
//     reached, a failing insert, post or seek, a letter file that cannot be read or
//     written) ends the transfer there: one German message tells the user what happened,
//     the result is false, and the rows copied so far stay in the export database;
//   - a single field that cannot be copied is passed over; an order whose address is not
//     in the host address table is copied without one; damaged extended order information
//     or a letter file that does not exist means the order has no letter.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "db/connection.h"
#include "db/table.h"
#include "export/component_stream.h"
#include "export/export_state.h"
#include "export/export_ui.h"
#include "foundation/file_io.h"

namespace mrw {

// Everything the transfer works on. The tables and connections belong to the controller.
struct TransferContext {
  db::Connection& host_connection;
  db::Table& host_orders;     // open, filtered as the grid shows it
  db::Table& host_addresses;  // "Adressen.ADT" of the host connection (opened when closed)
  std::vector<db::Bookmark> selected;  // the grid's marks in marking order; empty = all
  db::Connection& export_connection;
  db::Table& export_orders;     // "Auftraege.ADT", bound to export_connection
  db::Table& export_addresses;  // "Adressen.ADT", bound to export_connection
  std::string work_folder;      // GetTempFolder("mrw_root"), ending in "/"
  ExportUi& ui;
  // The attempts of each letter copy's target (tests shorten the waits).
  RetryPolicy copy_retry = CopyRetry();
};

// The export database folder of a work folder: work folder + "MRW/". An empty work folder
// throws InOutError (it would otherwise name a folder relative to the current one).
std::string ExportFolder(const std::string& work_folder);

// Empties the export state, disconnects the export connection and removes the export
// database folder (hidden files and what cannot be deleted stay; nothing is deleted for an
// empty work folder).
void ExportReset(ExportState& state, db::Connection& export_connection,
                 const std::string& work_folder);

// True when every chosen order was transferred.
bool TransferOrders(TransferContext& context, ExportState& state);

// Copies the fields of the current row of one table into the row another is inserting,
// by name: date fields travel as their date text, everything else as its value (null
// stays null). A field that cannot take a value keeps what it has; auto-increment fields
// keep the number their table gives them. The field pairs are worked out once.
class RowCopier {
 public:
  RowCopier(db::Table& source, db::Table& target);
  void Copy(db::Table& source, db::Table& target) const;

 private:
  std::vector<std::pair<size_t, size_t>> pairs_;
};

// A letter folder's files by name, listed once per transfer (on the first letter asked
// for, when the folder is also created if missing): letters are looked up by their exact
// name first, then ignoring letter case (the host's names come from a case-insensitive
// world).
class LetterFolder {
 public:
  LetterFolder(std::string host_folder, std::string_view letter_folder);
  // The full path of the file NAME.RVF, or "" when there is none.
  std::string Find(std::string_view name);

 private:
  void List();

  std::string host_folder_;
  std::string letter_folder_;
  bool listed_ = false;
  std::string folder_;
  std::unordered_set<std::string> exact_;
  std::unordered_map<std::string, std::string> by_upper_;  // first in byte order wins
};

// What one run of TransferOrders keeps from order to order (needs the export tables open).
struct TransferRun {
  TransferRun(TransferContext& context);
  RowCopier orders;
  RowCopier addresses;
  LetterFolder first_letters;
  LetterFolder last_letters;
  std::unordered_set<int32_t> copied_address_ids;  // addresses in the export address table
};

// Copies the host order row the host order table stands on (one step of TransferOrders;
// needs the host address table on its index "ID").
void TransferCurrentOrder(TransferContext& context, ExportState& state, TransferRun& run);

// The letter file a reference names, or "" when it names none. A reference
// "linkfile://NAME" names host folder + letter folder + NAME (at most 260 characters of
// it) + ".RVF" when that file exists; the letter folder is created in the host folder
// when it is missing. Any other reference ("tempfile://...", empty, a NAME that climbs out
// of the letter folder with "..") names none.
std::string ResolveLetterReference(std::string_view reference, const std::string& host_folder,
                                   std::string_view letter_folder);

inline constexpr std::string_view kFirstLetterFolder = "ORDER_LETTERS/";
inline constexpr std::string_view kLastLetterFolder = "ORDER_LETTERS_LAST/";

}  // namespace mrw
