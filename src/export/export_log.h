// The export log: after a package was saved or handed to the mail service, every exported
// order gets a line in the text file "MRW/exported.txt" beside the host database (shared by
// all workstations, only ever appended to) and a new first line in its history field GZS.
//
// Log line (Windows-1252 in the file, CR LF at the end):
//   "d.mmm.yyyy[hh.nn]" + " " + action + " " + PrintName + " " + ID_ORDER + " " + Adress
// with the description's line breaks turned into single blanks and its ends trimmed.
// GZS line: the date and time as text (see DateTimeText) + " exportiert" + CR LF, in front
// of the previous content.
//
// Appending is one write of the whole block under an exclusive lock on the file (O_APPEND
// plus flock, 100 attempts 100 ms apart), so blocks of processes logging at the same time
// follow one another instead of interleaving.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "db/connection.h"
#include "db/table.h"
#include "export/export_state.h"
#include "foundation/dates.h"

namespace mrw {

// host folder (ending in "/") + "MRW/exported.txt".
std::string ExportLogPath(const std::string& host_folder);

// "PrintName ID_ORDER Adress" with every line break (CR LF, and a lone CR or LF) turned
// into one blank, leading and trailing blanks and control characters removed.
std::string OrderDescription(std::string_view print_name, std::string_view id_order,
                             std::string_view adress);

// One log line, CR LF included (UTF-8; converted when written).
std::string ExportLogLine(DateTime when, std::string_view action, std::string_view description);

// The history field after marking: the marking line in front of `previous`.
std::string MarkedHistory(DateTime when, std::string_view previous);

// Appends `text` (UTF-8, written as Windows-1252) to the log file as one block under an
// exclusive lock, creating the file and its folder when missing. Throws InOutError with
// the message of the last failed attempt.
void AppendToExportLog(const std::string& path, std::string_view text);

// Logs and marks the orders of `state.ExportedOrderIds` that the host order table's
// current view still shows (an order that is gone or hidden gets neither line nor mark),
// then appends their lines to the log file; with an empty connect path nothing is
// written to the file. `now` gives the time for each line as it is formed.
// An error while marking an order (e.g. another user holds the row) ends the marking
// there: the lines of the orders already marked are still appended, then the error is
// passed on. The table is left on the last order found. The marks are posted in one
// transaction of the host order table (unless the caller has one open), committed before
// the lines are appended.
void LogExport(db::Connection& host_connection, db::Table& host_orders,
               const ExportState& state, const std::string& action,
               const std::function<DateTime()>& now);

}  // namespace mrw
