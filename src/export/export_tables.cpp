#include "export/export_tables.h"

#include <unistd.h>

#include <filesystem>
#include <string_view>
#include <system_error>

#include "db/table.h"
#include "export/record_layout.h"
#include "foundation/codepage.h"
#include "foundation/paths.h"

namespace mrw {

namespace {

constexpr const char* kTableExtensions[] = {".ADT", ".ADM", ".ADI"};

// Removes folder + name and every file whose name differs from it only in letter case (a
// leftover made under another spelling would otherwise be found in place of the table).
void RemoveQuietly(const std::string& folder, const std::string& name) {
  ::unlink((folder + name).c_str());
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (Utf8SameTextAnsi(entry, name)) ::unlink((folder + entry).c_str());
  }
}

void DeleteTableFiles(const std::string& folder, std::string_view table) {
  for (const char* ext : kTableExtensions) RemoveQuietly(folder, std::string(table) + ext);
}

// The steps both tables share: structure copy from the host table into `folder`, rebind
// to the export connection, then `finish` (restructure, tags) on the new table.
template <typename Finish>
void CreateExportTable(db::Connection& source, db::Connection& target, const std::string& folder_in,
                       std::string_view table_name, const ExportTablesMessage& message, Finish finish) {
  db::Table table(source, std::string(table_name));
  try {
    std::string folder = AddPathDelimiter(folder_in);
    DeleteTableFiles(folder, table_name);
    table.Open();
    table.CreateTable(folder + std::string(table_name) + ".ADT");
    table.Close();
    table.SetConnection(target);
    finish(table);
  } catch (...) {
    if (message) message("Table " + std::string(table_name) + ".ADT Could Not Be Created");
    try {
      table.Close();
    } catch (...) {
    }
    throw;
  }
}

void AddTags(db::Table& table, const std::vector<IndexTagDef>& tags) {
  table.Open(true);
  for (const auto& t : tags) table.AddIndex(t.tag, t.expression, t.descending);
  table.Close();
}

}  // namespace

void CreateAddressTable(db::Connection& source, db::Connection& target, const std::string& folder,
                        const ExportTablesMessage& message) {
  CreateExportTable(source, target, folder, kAddressTable, message, [](db::Table& table) {
    // Addresses keep their host IDs, so the orders' AdressID stays valid.
    table.Restructure("ID,ID,integer,0");
    AddTags(table, AddressIndexTags());
  });
}

void CreateOrderTable(db::Connection& source, db::Connection& target, const std::string& folder,
                      const ExportTablesMessage& message) {
  CreateExportTable(source, target, folder, kOrderTable, message,
                    [](db::Table& table) { AddTags(table, OrderIndexTags()); });
}

void CreateExportTables(db::Connection& source, db::Connection& target, const std::string& folder,
                        const ExportTablesMessage& message) {
  CreateAddressTable(source, target, folder, message);
  CreateOrderTable(source, target, folder, message);
}

void DeleteExportTables(const std::string& folder_in) {
  std::string folder = AddPathDelimiter(folder_in);
  DeleteTableFiles(folder, kAddressTable);
  DeleteTableFiles(folder, kOrderTable);
}

}  // namespace mrw
