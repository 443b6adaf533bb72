#include "foundation/codepage.h"

#include <gtest/gtest.h>

namespace mrw {
namespace {

TEST(CodePage, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string utf8 = AnsiToUtf8(all);
  EXPECT_EQ(Utf8ToAnsi(utf8), all);
}

TEST(CodePage, KnownCharacters) {
  EXPECT_EQ(AnsiToUtf8("\x80"), "€");
  EXPECT_EQ(AnsiToUtf8("Gr\xfc\xdf"), "Grüß");
  EXPECT_EQ(Utf8ToAnsi("Möglicher Fehler €"), "M\xf6glicher Fehler \x80");
  EXPECT_EQ(Utf8ToAnsi("日本"), "??");
  // Bytes that are no UTF-8 are kept as ANSI bytes.
  EXPECT_EQ(Utf8ToAnsi("\xe4x"), "\xe4x");
}

TEST(CodePage, UpperCaseFollowsTheAnsiRules) {
  EXPECT_EQ(AnsiUpperCase("abc\xe4\xf6\xfc\xdf\xf7\xff\x9a"), "ABC\xc4\xd6\xdc\xdf\xf7\x9f\x8a");
  EXPECT_EQ(Utf8AnsiUpper("straße ärger œ"), "STRAßE ÄRGER Œ");
  EXPECT_EQ(AnsiCompareText("\xe4pfel", "\xc4PFEL"), 0);
  EXPECT_LT(AnsiCompareText("a", "b"), 0);
  EXPECT_TRUE(Utf8SameTextAnsi("Auftraege.adt", "AUFTRAEGE.ADT"));
}

}  // namespace
}  // namespace mrw
