#include "delivery/colour_names.h"

#include <array>
#include <cstdio>

#include "foundation/codepage.h"

namespace mrw::delivery {
namespace {

struct NamedColour {
  uint32_t value;
  const char* name;
};

// System colours carry the high byte 0xFF and the system colour index in the low byte.
constexpr uint32_t Sys(uint32_t index) { return 0xFF000000u | index; }

// The first entry of a value wins when a value is turned into a name.
constexpr std::array<NamedColour, 52> kColours{{
    {0x000000, "clBlack"},       {0x000080, "clMaroon"},
    {0x008000, "clGreen"},       {0x008080, "clOlive"},
    {0x800000, "clNavy"},        {0x800080, "clPurple"},
    {0x808000, "clTeal"},        {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"},      {0x0000FF, "clRed"},
    {0x00FF00, "clLime"},        {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},        {0xFF00FF, "clFuchsia"},
    {0xFFFF00, "clAqua"},        {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"},  {0xF0CAA6, "clSkyBlue"},
    {0xF0FBFF, "clCream"},       {0xA4A0A0, "clMedGray"},
    {Sys(10), "clActiveBorder"}, {Sys(2), "clActiveCaption"},
    {Sys(12), "clAppWorkSpace"}, {Sys(1), "clBackground"},
    {Sys(15), "clBtnFace"},      {Sys(20), "clBtnHighlight"},
    {Sys(16), "clBtnShadow"},    {Sys(18), "clBtnText"},
    {Sys(9), "clCaptionText"},   {0x20000000, "clDefault"},
    {Sys(27), "clGradientActiveCaption"},
    {Sys(28), "clGradientInactiveCaption"},
    {Sys(17), "clGrayText"},     {Sys(13), "clHighlight"},
    {Sys(14), "clHighlightText"}, {Sys(26), "clHotLight"},
    {Sys(11), "clInactiveBorder"}, {Sys(3), "clInactiveCaption"},
    {Sys(19), "clInactiveCaptionText"}, {Sys(24), "clInfoBk"},
    {Sys(23), "clInfoText"},     {Sys(4), "clMenu"},
    {Sys(30), "clMenuBar"},      {Sys(29), "clMenuHighlight"},
    {Sys(7), "clMenuText"},      {kColourNone, "clNone"},
    {Sys(0), "clScrollBar"},     {Sys(21), "cl3DDkShadow"},
    {Sys(22), "cl3DLight"},      {Sys(5), "clWindow"},
    {Sys(6), "clWindowFrame"},   {Sys(8), "clWindowText"},
}};

std::optional<uint32_t> ParseNumber(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  unsigned base = 10;
  if (!text.empty() && text[0] == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char ch : text) {
    unsigned digit;
    if (ch >= '0' && ch <= '9') {
      digit = static_cast<unsigned>(ch - '0');
    } else if (base == 16 && ch >= 'a' && ch <= 'f') {
      digit = static_cast<unsigned>(ch - 'a' + 10);
    } else if (base == 16 && ch >= 'A' && ch <= 'F') {
      digit = static_cast<unsigned>(ch - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  if (base == 10) {
    // Decimal texts are signed 32-bit numbers.
    if (negative ? value > 0x80000000ull : value > 0x7FFFFFFFull) return std::nullopt;
  }
  const uint32_t v = static_cast<uint32_t>(value);
  return negative ? static_cast<uint32_t>(0u - v) : v;
}

}  // namespace

std::string ColourToText(uint32_t colour) {
  for (const auto& entry : kColours) {
    if (entry.value == colour) return entry.name;
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08x", colour);
  return buf;
}

std::optional<uint32_t> ColourFromText(std::string_view text) {
  for (const auto& entry : kColours) {
    if (Utf8SameTextAnsi(text, entry.name)) return entry.value;
  }
  return ParseNumber(text);
}

}  // namespace mrw::delivery
