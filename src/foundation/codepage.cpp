#include "foundation/codepage.h"

#include <array>
#include <cstdint>

namespace mrw {
namespace {

// Code points of the bytes 0x80..0x9F; the undefined ones map to the C1 control itself.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t ToCodePoint(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kHigh[b - 0x80];
  return b;
}

int FromCodePoint(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return 0x80 + i;
  return -1;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when it is not valid.
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
  auto b0 = static_cast<unsigned char>(s[i]);
  size_t len;
  char32_t min;
  if (b0 < 0x80) { cp = b0; return 1; }
  if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; min = 0x80; }
  else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; min = 0x800; }
  else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; min = 0x10000; }
  else return 0;
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

void AppendUtf16Unit(std::string& out, char32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>((unit >> 8) & 0xFF);
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 8);
  for (unsigned char b : ansi) AppendUtf8(out, ToCodePoint(b));
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp;
    size_t len = DecodeUtf8(utf8, i, cp);
    if (len == 0) {  // not UTF-8: keep the byte as it is
      out += utf8[i];
      ++i;
      continue;
    }
    int b = FromCodePoint(cp);
    out += b < 0 ? '?' : static_cast<char>(b);
    i += len;
  }
  return out;
}

unsigned char AnsiUpperChar(unsigned char c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  switch (c) {
    case 0x9A: return 0x8A;  // š
    case 0x9C: return 0x8C;  // œ
    case 0x9E: return 0x8E;  // ž
    case 0xFF: return 0x9F;  // ÿ
    default: return c;
  }
}

unsigned char AnsiLowerChar(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
  }
}

std::string AnsiUpperCase(std::string_view ansi) {
  std::string out(ansi);
  for (char& ch : out) ch = static_cast<char>(AnsiUpperChar(static_cast<unsigned char>(ch)));
  return out;
}

int AnsiCompareText(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int x = AnsiUpperChar(static_cast<unsigned char>(a[i]));
    int y = AnsiUpperChar(static_cast<unsigned char>(b[i]));
    if (x != y) return x - y;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string Utf8AnsiUpper(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp;
    size_t len = DecodeUtf8(utf8, i, cp);
    if (len == 0) {
      out += utf8[i];
      ++i;
      continue;
    }
    int b = FromCodePoint(cp);
    if (b < 0) {
      out.append(utf8.substr(i, len));
    } else {
      AppendUtf8(out, ToCodePoint(AnsiUpperChar(static_cast<unsigned char>(b))));
    }
    i += len;
  }
  return out;
}

bool Utf8SameTextAnsi(std::string_view a, std::string_view b) {
  return Utf8AnsiUpper(a) == Utf8AnsiUpper(b);
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp;
    size_t len = DecodeUtf8(utf8, i, cp);
    if (len == 0) {  // not UTF-8: the byte is a Windows-1252 character
      cp = ToCodePoint(static_cast<unsigned char>(utf8[i]));
      len = 1;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      AppendUtf16Unit(out, 0xD800 + (cp >> 10));
      AppendUtf16Unit(out, 0xDC00 + (cp & 0x3FF));
    } else {
      AppendUtf16Unit(out, cp);
    }
    i += len;
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view utf16le) {
  std::string out;
  out.reserve(utf16le.size());
  const size_t units = utf16le.size() / 2;
  auto unit = [&](size_t n) {
    return static_cast<char32_t>(static_cast<unsigned char>(utf16le[2 * n])) |
           (static_cast<char32_t>(static_cast<unsigned char>(utf16le[2 * n + 1])) << 8);
  };
  for (size_t n = 0; n < units; ++n) {
    char32_t cp = unit(n);
    if (cp >= 0xD800 && cp <= 0xDBFF && n + 1 < units) {
      char32_t low = unit(n + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        ++n;
      }
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace mrw
