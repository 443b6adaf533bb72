#include "foundation/user_mode.h"

#include <functional>

#include "foundation/fast_ini_file.h"
#include "foundation/folders.h"
#include "foundation/paths.h"

namespace mrw {
namespace {

const char kSection[] = "MODE";

std::string UserModeFile(const std::string& folder) {
  return AddPathDelimiter(folder.empty() ? GetExeFolder() : folder) + "UserMode.INI";
}

// Runs `use` on the folder's UserMode.INI and writes what it changed; false on any failure.
bool WithUserMode(const std::string& folder, const std::function<void(TFastIniFile&)>& use) {
  try {
    TFastIniFile ini(UserModeFile(folder));
    use(ini);
    ini.UpdateFile();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

std::string QuoteUserModeText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string UnquoteUserModeText(const std::string& stored) {
  if (stored.empty() || stored[0] != '"') return stored;
  std::string out;
  for (size_t i = 1; i < stored.size(); ++i) {
    if (stored[i] == '"') {
      if (i + 1 < stored.size() && stored[i + 1] == '"') {
        out += '"';
        ++i;
      } else {
        break;
      }
    } else {
      out += stored[i];
    }
  }
  return out;
}

void UserModeWriteBool(const std::string& key, bool value, const std::string& folder) {
  if (key.empty()) return;
  WithUserMode(folder, [&](TFastIniFile& ini) { ini.WriteBool(kSection, key, value); });
}

void UserModeWriteInteger(const std::string& key, int value, const std::string& folder) {
  if (key.empty()) return;
  WithUserMode(folder, [&](TFastIniFile& ini) { ini.WriteInteger(kSection, key, value); });
}

void UserModeWriteString(const std::string& key, const std::string& value, const std::string& folder) {
  if (key.empty()) return;
  WithUserMode(folder, [&](TFastIniFile& ini) { ini.WriteString(kSection, key, QuoteUserModeText(value)); });
}

bool UserModeReadBool(const std::string& key, bool def, const std::string& folder, bool write_back) {
  if (key.empty()) return def;
  bool result = def;
  WithUserMode(folder, [&](TFastIniFile& ini) {
    result = ini.ReadBool(kSection, key, def);
    if (write_back) ini.WriteBool(kSection, key, result);
  });
  return result;
}

int UserModeReadInteger(const std::string& key, int def, const std::string& folder, bool write_back) {
  if (key.empty()) return def;
  int result = def;
  WithUserMode(folder, [&](TFastIniFile& ini) {
    result = ini.ReadInteger(kSection, key, def);
    if (write_back) ini.WriteInteger(kSection, key, result);
  });
  return result;
}

std::string UserModeReadString(const std::string& key, const std::string& def, const std::string& folder,
                               bool write_back) {
  if (key.empty()) return def;
  std::string result = def;
  WithUserMode(folder, [&](TFastIniFile& ini) {
    // The default goes in quoted so that it comes out of the unquoting unchanged.
    result = UnquoteUserModeText(ini.ReadString(kSection, key, QuoteUserModeText(def)));
    if (write_back) ini.WriteString(kSection, key, QuoteUserModeText(result));
  });
  return result;
}

}  // namespace mrw
