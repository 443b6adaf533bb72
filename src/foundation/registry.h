// Read-only stand-in of the local machine's registry: an INI file whose sections are key
// paths and whose keys are value names, e.g.
//
//   [SOFTWARE\Vendor\Product]
//   InstallLocation=/opt/product
//
// The file is $QM_REGISTRY_FILE when that is set, else /etc/quillmar/registry.ini. Key
// paths are written without the leading "\" (one is accepted too) and, like value names,
// compare without regard to letter case. Nothing is ever written.
#pragma once

#include <optional>
#include <string>

namespace mrw {

std::string RegistryFilePath();

// The value's text; nullopt when the file, the key or the value does not exist or the
// file cannot be read.
std::optional<std::string> RegistryReadString(const std::string& keyPath, const std::string& valueName);

}  // namespace mrw
