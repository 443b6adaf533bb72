// Windows-1252 ("ANSI") <-> UTF-8 at the boundaries where the system's files and wire
// formats carry 8-bit text. Inside the program every string is UTF-8.
//
// The conversion is lossless for all 256 byte values: the five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same number and
// back. Characters without a Windows-1252 byte become '?' on the way out; invalid UTF-8
// bytes on the way out are taken as Windows-1252 bytes themselves (so text that already is
// ANSI survives a second conversion unharmed).
#pragma once

#include <string>
#include <string_view>

namespace mrw {

std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

// Upper and lower case of one Windows-1252 byte as the Windows ANSI functions do it:
// a-z, the accented letters 0xE0-0xFE (not 0xF7), and š/œ/ž/ÿ <-> Š/Œ/Ž/Ÿ. ß and µ stay.
unsigned char AnsiUpperChar(unsigned char c);
unsigned char AnsiLowerChar(unsigned char c);

// The same on whole ANSI byte strings.
std::string AnsiUpperCase(std::string_view ansi);
// Case-insensitive comparison of two ANSI byte strings (<0, 0, >0), byte order of the
// upper-cased texts.
int AnsiCompareText(std::string_view a, std::string_view b);

// Upper case of UTF-8 text by the Windows-1252 rules above (letters outside the code page
// are kept as they are).
std::string Utf8AnsiUpper(std::string_view utf8);
bool Utf8SameTextAnsi(std::string_view a, std::string_view b);

// UTF-8 <-> UTF-16LE bytes, for the formats that carry wide text (the mail pipe, wide
// strings in stored streams). Bytes that are no valid UTF-8 are taken as Windows-1252, as
// by Utf8ToAnsi; unpaired surrogates on the way back become U+FFFD, an odd last byte is
// ignored.
std::string Utf8ToUtf16Le(std::string_view utf8);
std::string Utf16LeToUtf8(std::string_view utf16le);

}  // namespace mrw
