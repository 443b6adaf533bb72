#include "foundation/registry.h"

#include <cstdlib>

#include "foundation/codepage.h"
#include "foundation/fast_ini_file.h"

namespace mrw {

std::string RegistryFilePath() {
  const char* file = std::getenv("QM_REGISTRY_FILE");
  return (file && *file) ? file : "/etc/quillmar/registry.ini";
}

std::optional<std::string> RegistryReadString(const std::string& keyPath, const std::string& valueName) {
  std::string key = keyPath;
  while (!key.empty() && key.front() == '\\') key.erase(0, 1);
  try {
    TFastIniFile ini(RegistryFilePath());
    for (const std::string& section : {key, "\\" + key}) {
      for (const std::string& name : ini.ReadSection(section)) {
        if (Utf8SameTextAnsi(name, valueName)) return ini.ReadString(section, name, "");
      }
    }
  } catch (const std::exception&) {
    // An unreadable registry file is a missing value.
  }
  return std::nullopt;
}

}  // namespace mrw
