// The host database as the wizard opens it: the connection to the folder named on the
// command line, the address and order tables, and the three values the package takes
// from the host's settings table setup.ADT (rows by Ident: 15000, 15001, 1).
//
// The module's own settings live in the host database folder's "marrowby_setup/" folder
// (MARROWBY.INI, UserMode.INI, LASTOPEXPORT.TXT).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/connection.h"
#include "db/table.h"

namespace mrw::selection {

struct HostSettings {
  int32_t FirstOrderID = 0;    // row 15000, as a number (0 when missing or no number)
  std::string FirstOrderID2;   // row 15001
  std::string DatabaseGUID;    // row 1
};

// The text as a 32-bit whole number (optional sign, decimal digits, surrounding blanks
// allowed); 0 for anything else.
int32_t SettingToInteger(std::string_view text);

class HostDatabase {
 public:
  HostDatabase();
  HostDatabase(const HostDatabase&) = delete;
  HostDatabase& operator=(const HostDatabase&) = delete;

  // Closes the connection, opens `path` with the local engine when `server_kind` is "1"
  // (else the remote kind), opens the address and order tables and reads the settings
  // rows. Errors of the engine propagate (the caller reports them).
  void Open(const std::string& path, const std::string& server_kind);
  void Close();
  bool IsOpen() const { return connection_.IsOpen(); }

  // The host database folder with "/", and the settings folder below it.
  std::string Folder() const;
  std::string SettingsFolder() const;
  std::string SelectionIniPath() const;  // SettingsFolder() + "MARROWBY.INI"

  db::Connection& connection() { return connection_; }
  db::Table& orders() { return orders_; }
  db::Table& addresses() { return addresses_; }
  const HostSettings& settings() const { return settings_; }

 private:
  void ReadSettings();

  db::Connection connection_;
  db::Table addresses_;
  db::Table orders_;
  db::Table settings_table_;
  HostSettings settings_;
};

}  // namespace mrw::selection
