// A folder only the effective user can enter, for temporary files and sockets in shared
// places like /tmp. Without it another user could pre-create the folder or plant a
// symbolic link there and read or redirect what the program writes.
#pragma once

#include <string>

namespace mrw {

// Creates `folder` (its parent must exist) with mode 0700, or checks the existing one:
// it must be a real folder (not a symbolic link), owned by the effective user and closed
// to group and others. Throws mrw::Error with a German text naming the folder and the
// reason otherwise; an existing folder is never changed.
void EnsurePrivateFolder(const std::string& folder);

}  // namespace mrw
