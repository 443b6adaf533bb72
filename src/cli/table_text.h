// Helpers of the commands that print tables (query, schema): opening "DIR TABLE" from the
// command line, and the one-line text form of texts and memos.
#pragma once

#include <string>
#include <string_view>

#include "db/connection.h"
#include "db/table.h"

namespace mrw::cli {

// Backslash, TAB, CR and LF written as \\, \t, \r, \n, so a value stays on its line and
// in its TAB-separated column.
inline std::string EscapeTabText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

// A table of a database folder opened for reading from the command line's DIR and TABLE
// (engine errors propagate with their German text).
struct OpenedTable {
  OpenedTable(const std::string& folder, const std::string& table_name) : table(connection, table_name) {
    connection.SetPath(folder);
    connection.Open();
    table.Open();
  }
  db::Connection connection;
  db::Table table;
};

}  // namespace mrw::cli
