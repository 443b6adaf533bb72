#include "foundation/runtime_dir.h"

#include <unistd.h>

#include <cstdlib>

#include "foundation/paths.h"
#include "foundation/private_folder.h"

namespace mrw {

std::string GetRuntimeFolder() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = xdg && *xdg ? std::string(xdg)
                                   : "/tmp/qm-runtime-" + std::to_string(geteuid());
  EnsurePrivateFolder(folder);
  return AddPathDelimiter(folder);
}

}  // namespace mrw
