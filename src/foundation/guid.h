// Fresh GUIDs and the ELF hash the system makes numbers from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mrw {

// 128 random bits from the operating system in the version-4 layout, upper-case:
// "XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX" (36 characters, no braces).
// Throws mrw::Error when the system has no random bytes to give.
std::string NewGuid();

// The classic ELF hash over the bytes of `text`, starting from 0.
std::uint32_t ElfHash(std::string_view text);

}  // namespace mrw
