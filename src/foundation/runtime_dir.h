// The user's runtime folder: where the program keeps its lock files and local sockets.
#pragma once

#include <string>

namespace mrw {

// $XDG_RUNTIME_DIR when set, else /tmp/qm-runtime-<uid>/ (created); with a trailing "/".
// Either must be a private folder of the effective user (see EnsurePrivateFolder), else
// mrw::Error.
std::string GetRuntimeFolder();

}  // namespace mrw
