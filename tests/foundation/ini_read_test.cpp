// Reading INI files: line classification, comments, quotes, name comparison, line ends,
// typed reads and damaged files.
#include <gtest/gtest.h>

#include <random>

#include "common/temp_dir.h"
#include "foundation/fast_ini_file.h"

namespace mrw {
namespace {

using test::TempDir;
using test::WriteFile;

// Windows-1252 bytes as the file holds them.
const std::string kFile =
    "orphan=before any section\r\n"
    "[Main]\r\n"
    "plain=abc ; note\r\n"
    "quoted=\"a;b\" ; real comment\r\n"
    "   spaced   =   value with blanks   \r\n"
    "noequals line\r\n"
    ";commented=1\r\n"
    "empty=\r\n"
    "dup=first\r\n"
    "dup=second\r\n"
    "[ Main ]\r\n"
    "blanks=inside brackets\r\n"
    "[Gr\xf6\xdf" "e]\r\n"
    "umlaut=\xe4\xf6\xfc\r\n"
    "[Twice]\r\n"
    "k=early\r\n"
    "only=early only\r\n"
    "[twice]\r\n"
    "k=late\r\n";

TEST(IniRead, ValuesAsTheLinesGiveThem) {
  TempDir dir;
  WriteFile(dir / "a.ini", kFile);
  TFastIniFile ini(dir / "a.ini");
  struct Case { const char* section; const char* key; const char* expected; } cases[] = {
      {"Main", "plain", "abc"},                 // comment cut, rest trimmed
      {"Main", "quoted", "\"a;b\""},            // ";" inside quotes is text
      {"Main", "spaced", "value with blanks"},  // blanks around key and value go
      {"Main", "empty", ""},
      {"Main", "dup", "first"},                 // normal mode: first occurrence
      {"main", "PLAIN", "abc"},                 // names ignore letter case
      {"Main", "noequals line", "<def>"},       // no "=": no key
      {"Main", ";commented", "<def>"},
      {"Main", "blanks", "<def>"},              // "[ Main ]" is another section
      {" Main ", "blanks", "inside brackets"},
      {"", "orphan", "<def>"},                  // keys before the first header are unreachable
      {"GR\xc3\x96\xc3\x9f" "E", "UMLAUT", "\xc3\xa4\xc3\xb6\xc3\xbc"},  // "GRÖßE": umlauts by the ANSI rules
      {"Twice", "k", "late"},                   // the later header wins, whatever its case
      {"Twice", "only", "<def>"},
      {"Missing", "k", "<def>"},
  };
  for (const auto& c : cases) EXPECT_EQ(ini.ReadString(c.section, c.key, "<def>"), c.expected) << c.section << "/" << c.key;
}

TEST(IniRead, AsciiModeLeavesUmlautsCaseSensitive) {
  TempDir dir;
  WriteFile(dir / "a.ini", kFile);
  TFastIniFile ini(dir / "a.ini");
  ini.SetCaseInsensitive(false);
  EXPECT_EQ(ini.ReadString("MAIN", "Plain", ""), "abc");
  EXPECT_EQ(ini.ReadString("GR\xc3\x96\xc3\x9f" "E", "umlaut", "<def>"), "<def>");
  EXPECT_EQ(ini.ReadString("Gr\xc3\xb6\xc3\x9f" "e", "UMLAUT", "<def>"), "\xc3\xa4\xc3\xb6\xc3\xbc");
  ini.SetExactNames(true);
  EXPECT_EQ(ini.ReadString("Main", "PLAIN", "<def>"), "<def>");
  EXPECT_EQ(ini.ReadString("Main", "plain", "<def>"), "abc");
}

TEST(IniRead, ListsSectionsKeysAndValues) {
  TempDir dir;
  WriteFile(dir / "a.ini", kFile);
  TFastIniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadSections(),
            (std::vector<std::string>{"Main", " Main ", "Gr\xc3\xb6\xc3\x9f" "e", "twice"}));
  EXPECT_EQ(ini.ReadSection("main"),
            (std::vector<std::string>{"plain", "quoted", "spaced", "empty", "dup", "dup"}));
  EXPECT_EQ(ini.ReadSectionValues("Main"),
            (std::vector<std::string>{"plain=abc", "quoted=\"a;b\"", "spaced=value with blanks", "empty=",
                                      "dup=first", "dup=second"}));
  EXPECT_TRUE(ini.ReadSection("Missing").empty());
}

TEST(IniRead, StripQuotesAndCommentsCanBeSwitched) {
  TempDir dir;
  WriteFile(dir / "a.ini", "[S]\nq=\"x ; y\"\ns='single'\nodd=\"x'\nc=v ; c\n");
  TFastIniFile ini(dir / "a.ini");
  ini.SetStripQuotes(true);
  EXPECT_EQ(ini.ReadString("S", "q", ""), "x ; y");
  EXPECT_EQ(ini.ReadString("S", "s", ""), "single");
  EXPECT_EQ(ini.ReadString("S", "odd", ""), "\"x'");
  ini.SetStripComments(false);
  EXPECT_EQ(ini.ReadString("S", "c", ""), "v ; c");
}

TEST(IniRead, EveryKindOfLineEnd) {
  for (const std::string eol : {"\r\n", "\n", "\r"}) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[S]" + eol + "a=1" + eol + eol + "b=2" + eol + "[T]" + eol + "c=3");
    TFastIniFile ini(dir / "a.ini");
    EXPECT_EQ(ini.ReadString("S", "a", ""), "1");
    EXPECT_EQ(ini.ReadString("S", "b", ""), "2");
    EXPECT_EQ(ini.ReadString("T", "c", ""), "3");  // last line without a line break
  }
}

TEST(IniRead, TypedValues) {
  TempDir dir;
  WriteFile(dir / "a.ini",
            "[N]\ndec=42\nneg=-17\nplus=+5\nhex=0x1F\nupper=0XfF\nallbits=0xFFFFFFFF\ntoo_big=2147483648\n"
            "min=-2147483648\nbare0x=0x\nbadhex=0x1G\nfloat=1.5\ntext=yes\nspaced=12 ; twelve\nempty=\n"
            "dollar=$10\n");
  TFastIniFile ini(dir / "a.ini");
  struct Case { const char* key; int expected; } cases[] = {
      {"dec", 42}, {"neg", -17}, {"plus", 5}, {"hex", 31}, {"upper", 255}, {"allbits", -1},
      {"too_big", -99}, {"min", INT32_MIN}, {"bare0x", -99}, {"badhex", -99}, {"float", -99},
      {"text", -99}, {"spaced", 12}, {"empty", -99}, {"dollar", -99}, {"missing", -99},
  };
  for (const auto& c : cases) EXPECT_EQ(ini.ReadInteger("N", c.key, -99), c.expected) << c.key;
  EXPECT_TRUE(ini.ReadBool("N", "dec", false));
  EXPECT_FALSE(ini.ReadBool("N", "bare0x", false));  // only numbers count
  EXPECT_TRUE(ini.ReadBool("N", "text", true));
  EXPECT_FALSE(ini.ReadBool("N", "zero_missing", false));
}

TEST(IniRead, DamagedFilesGiveValuesOrDefaultsButNeverCrash) {
  TempDir dir;
  // The text ends at a zero byte.
  WriteFile(dir / "nul.ini", std::string("[S]\r\na=1\r\nb=2\0\r\nc=3\r\n", 21));
  TFastIniFile nul(dir / "nul.ini");
  EXPECT_EQ(nul.ReadString("S", "b", "-"), "2");
  EXPECT_EQ(nul.ReadString("S", "c", "-"), "-");

  // A line of a megabyte, as key, as value and as garbage.
  const std::string big(1 << 20, 'x');
  WriteFile(dir / "long.ini", "[S]\n" + big + "\nk=" + big + "\n" + big + "=v\n[T]\nk=t\n");
  TFastIniFile longlines(dir / "long.ini");
  EXPECT_EQ(longlines.ReadString("S", "k", ""), big);
  EXPECT_EQ(longlines.ReadString("S", big, ""), "v");
  EXPECT_EQ(longlines.ReadString("T", "k", ""), "t");

  // Binary garbage, with and without section-like lines in it.
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::string garbage(4096, '\0');
    for (char& c : garbage) c = static_cast<char>(rng() % 256);
    if (round % 2) garbage = "[S]\n" + garbage;
    WriteFile(dir / "bin.ini", garbage);
    TFastIniFile ini(dir / "bin.ini");
    ini.ReadString("S", "k", "");
    ini.ReadSections();
    ini.ReadSectionValues("S");
    ini.WriteString("S", "k", "v");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
  }
}

TEST(IniRead, IndexedModeFindsTheLastOfTwinKeys) {
  // More than 249 key lines per section switch on the per-section key index.
  TempDir dir;
  std::string text = "[Big]\r\ntwin=first\r\n";
  for (int i = 0; i < 300; ++i) text += "key" + std::to_string(i) + "=v" + std::to_string(i) + "\r\n";
  text += "twin=last\r\n";
  WriteFile(dir / "big.ini", text);
  TFastIniFile ini(dir / "big.ini");
  EXPECT_EQ(ini.ReadString("Big", "twin", ""), "last");
  EXPECT_EQ(ini.ReadString("big", "KEY299", ""), "v299");
  EXPECT_EQ(ini.ReadString("Big", "key300", "-"), "-");
}

}  // namespace
}  // namespace mrw
