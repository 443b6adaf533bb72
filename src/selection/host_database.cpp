#include "selection/host_database.h"

#include <charconv>

#include "foundation/paths.h"

namespace mrw::selection {

int32_t SettingToInteger(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return 0;
  return value;
}

HostDatabase::HostDatabase()
    : addresses_(connection_, "Adressen.ADT"),
      orders_(connection_, "Auftraege.ADT"),
      settings_table_(connection_, "setup.ADT") {}

void HostDatabase::Open(const std::string& path, const std::string& server_kind) {
  connection_.Close();
  connection_.SetKind(server_kind == "1" ? db::Connection::Kind::Local : db::Connection::Kind::Remote);
  connection_.SetPath(path);
  connection_.Open();
  if (!connection_.IsOpen()) return;
  addresses_.Open();
  orders_.Open();
  settings_table_.Open();
  ReadSettings();
  settings_table_.Close();
}

void HostDatabase::Close() { connection_.Close(); }

void HostDatabase::ReadSettings() {
  settings_ = HostSettings{};
  if (settings_table_.Locate("Ident", 15000)) {
    settings_.FirstOrderID = SettingToInteger(settings_table_.FieldByName("stringItem").AsString());
  }
  if (settings_table_.Locate("Ident", 15001)) {
    settings_.FirstOrderID2 = settings_table_.FieldByName("stringItem").AsString();
  }
  if (settings_table_.Locate("Ident", 1)) {
    settings_.DatabaseGUID = settings_table_.FieldByName("stringItem").AsString();
  }
}

std::string HostDatabase::Folder() const { return AddPathDelimiter(connection_.Path()); }

std::string HostDatabase::SettingsFolder() const { return Folder() + "marrowby_setup/"; }

std::string HostDatabase::SelectionIniPath() const { return SettingsFolder() + "MARROWBY.INI"; }

}  // namespace mrw::selection
