// File-name cleaning and the names of the computer and the user.
#pragma once

#include <string>

namespace mrw {

// Removes control characters (codes 0 to 31), every space when `remove_spaces`, and the
// characters \ ? | > < : / * "; then trims leading and trailing spaces.
std::string CleanFileName(const std::string& text, bool remove_spaces);

// The host name up to its first "." (the short name), at most 15 characters; "" on failure.
std::string GetComputerNameStr();

// The login name of the effective user; "" on failure.
std::string GetUserNameStr();

}  // namespace mrw
