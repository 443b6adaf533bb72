// Colours of the account records as text: the names of the standard colour constants of
// the host platform's colour table, clNone (0x1FFFFFFF) for "no colour", or "$" and eight
// lower-case hex digits for every other value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mrw::delivery {

inline constexpr uint32_t kColourNone = 0x1FFFFFFF;

// The name of a standard colour constant, or "$" + eight lower-case hex digits.
std::string ColourToText(uint32_t colour);

// A standard colour name (letter case ignored) or a number: decimal with an optional sign,
// or hexadecimal after "$" or "0x". nullopt when the text is neither or out of 32-bit range.
std::optional<uint32_t> ColourFromText(std::string_view text);

}  // namespace mrw::delivery
