// The stream cipher that protects the password fields of the account files.
//
// A 259-byte state (a byte table S and the bytes i, j, f) keyed with a fixed text. The same
// call protects and unprotects; only the byte that feeds back into f differs (the plain
// byte in both directions), hence the two entry points. Input and output are 8-bit bytes of
// equal length; every field is processed with a freshly keyed state.
#pragma once

#include <string>
#include <string_view>

namespace mrw::delivery {

// The key every account file uses.
inline constexpr std::string_view kAccountPasswordKey = "k4m2w7q5r";

std::string CipherProtect(std::string_view plain, std::string_view key = kAccountPasswordKey);
std::string CipherUnprotect(std::string_view protectedBytes,
                            std::string_view key = kAccountPasswordKey);

}  // namespace mrw::delivery
