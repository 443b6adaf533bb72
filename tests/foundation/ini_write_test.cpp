// Writing INI files: where new sections and keys go, what a rewrite keeps, when the file
// is written at all, erasing and deleting, and the refusal of texts the format cannot hold.
#include <gtest/gtest.h>

#include <functional>

#include "common/temp_dir.h"
#include "foundation/errors.h"
#include "foundation/fast_ini_file.h"

namespace mrw {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct RewriteCase {
  const char* name;
  std::string before;
  std::function<void(TFastIniFile&)> change;
  std::string after;
};

TEST(IniWrite, RewritesKeepWhatWasNotTouched) {
  const RewriteCase cases[] = {
      {"comment keeps its column",
       "[S]\r\nk=abc ; note\r\n", [](TFastIniFile& i) { i.WriteString("S", "k", "xyz"); },
       "[S]\r\nk=xyz ; note\r\n"},
      {"longer value pushes the comment one blank behind it",
       "[S]\r\nk=abc ; note\r\n", [](TFastIniFile& i) { i.WriteString("S", "k", "abcdefgh"); },
       "[S]\r\nk=abcdefgh ; note\r\n"},
      {"shorter value is padded to the comment's column",
       "[S]\r\nk=abcdefgh   ;n\r\n", [](TFastIniFile& i) { i.WriteString("S", "k", "a"); },
       "[S]\r\nk=a          ;n\r\n"},
      {"a long comment is kept whole",
       "[S]\r\nk=v ;" + std::string(300, 'c') + "\r\n", [](TFastIniFile& i) { i.WriteString("S", "k", "w"); },
       "[S]\r\nk=w ;" + std::string(300, 'c') + "\r\n"},
      {"new section after a blank line, key after it",
       "[S]\r\nk=v", [](TFastIniFile& i) { i.WriteString("New", "x", "1"); },
       "[S]\r\nk=v\r\n\r\n[New]\r\nx=1\r\n"},
      {"no second blank line before a new section",
       "[S]\r\nk=v\r\n\r\n", [](TFastIniFile& i) { i.WriteString("New", "x", "1"); },
       "[S]\r\nk=v\r\n\r\n[New]\r\nx=1\r\n"},
      {"new section in an empty file",
       "", [](TFastIniFile& i) { i.WriteString("New", "x", "1"); },
       "[New]\r\nx=1\r\n"},
      {"new key after the last key line, before closing comments and blanks",
       "[S]\nk=v\nno equals\n\n; about T\n[T]\nt=1\n",
       [](TFastIniFile& i) { i.WriteString("S", "  new\t", "n"); },
       "[S]\r\nk=v\r\nno equals\r\nnew=n\r\n\r\n; about T\r\n[T]\r\nt=1\r\n"},
      {"new key in a section without keys goes right under the header",
       "[S]\r\n; c\r\n[T]\r\n", [](TFastIniFile& i) { i.WriteString("S", "k", "v"); },
       "[S]\r\nk=v\r\n; c\r\n[T]\r\n"},
      {"parsed lines lose their blanks, unparsed ones keep their bytes",
       "[S]\n  a  =  1  \n b = 2 \n[T]\n  c  =  3  \n", [](TFastIniFile& i) { i.WriteString("S", "b", "x"); },
       "[S]\r\na=1\r\nb=x\r\n[T]\r\n  c  =  3  \r\n"},
      {"CR-only line ends come back as CR LF",
       "[S]\rk=v\r\r; c\r", [](TFastIniFile& i) { i.WriteString("S", "k", "w"); },
       "[S]\r\nk=w\r\n\r\n; c\r\n"},
      {"the later of two headers is written to",
       "[S]\r\nk=1\r\n[s]\r\nk=2\r\n", [](TFastIniFile& i) { i.WriteString("S", "k", "3"); },
       "[S]\r\nk=1\r\n[s]\r\nk=3\r\n"},
      {"erasing keeps the comment block that leads into the next section",
       "[A]\r\na=1\r\n[S]\r\nk=v\r\n; c\r\n\r\nx\r\n\r\n; about T\r\n\r\n; more\r\n[T]\r\nt=1\r\n",
       [](TFastIniFile& i) { i.EraseSection("s"); },
       "[A]\r\na=1\r\n; about T\r\n\r\n; more\r\n[T]\r\nt=1\r\n"},
      {"an empty key with an empty value erases the section",
       "[S]\r\nk=v\r\n\r\n[T]\r\nt=1\r\n", [](TFastIniFile& i) { i.WriteString("S", "", ""); },
       "[T]\r\nt=1\r\n"},
      {"deleting a key removes its line only",
       "[S]\r\na=1 ; c\r\nk=v\r\nb=2\r\n", [](TFastIniFile& i) { i.DeleteKey("S", "K"); },
       "[S]\r\na=1 ; c\r\nb=2\r\n"},
      {"umlauts are written in Windows-1252",
       "", [](TFastIniFile& i) { i.WriteString("Größe", "Schlüssel", "Grüße €"); },
       "[Gr\xf6\xdf" "e]\r\nSchl\xfc" "ssel=Gr\xfc\xdf" "e \x80\r\n"},
      {"a new key with an empty value still reaches the file",
       "[S]\r\n", [](TFastIniFile& i) { i.WriteString("S", "k", ""); },
       "[S]\r\nk=\r\n"},
      {"typed writes",
       "", [](TFastIniFile& i) { i.WriteInteger("N", "i", -42); i.WriteBool("N", "t", true); i.WriteBool("N", "f", false); },
       "[N]\r\ni=-42\r\nt=1\r\nf=0\r\n"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    if (!c.before.empty()) WriteFile(dir / "a.ini", c.before);
    {
      TFastIniFile ini(dir / "a.ini");
      c.change(ini);
    }
    EXPECT_EQ(ReadFile(dir / "a.ini"), c.after) << c.name;
  }
}

TEST(IniWrite, AnUnchangedObjectDoesNotWrite) {
  TempDir dir;
  WriteFile(dir / "a.ini", "[S]\nk=v ; c\n");
  {
    TFastIniFile ini(dir / "a.ini");
    ini.WriteString("S", "k", "v");
    ini.EraseSection("Missing");
    ini.DeleteKey("S", "missing");
    EXPECT_FALSE(ini.Modified());
    // Had it written, this change by another program would be gone.
    WriteFile(dir / "a.ini", "changed elsewhere");
  }
  EXPECT_EQ(ReadFile(dir / "a.ini"), "changed elsewhere");
}

TEST(IniWrite, ChangesAreSeenAtOnceAndReachTheDiskWhenFreed) {
  TempDir dir;
  const std::string name = dir / "sub/folder/a.ini";  // the folder is made when writing
  {
    TFastIniFile ini(name);
    ini.WriteString("S", "k", "v");
    EXPECT_EQ(ini.ReadString("s", "K", ""), "v");
    ini.WriteString("S", "e", "");
    EXPECT_EQ(ini.ReadString("S", "e", "<def>"), "");
  }
  TFastIniFile again(name);
  EXPECT_EQ(again.ReadString("S", "k", ""), "v");
  EXPECT_EQ(again.ReadString("S", "e", "<def>"), "");
}

TEST(IniWrite, ExistingFileIsFoundInAnyLetterCase) {
  TempDir dir;
  WriteFile(dir / "marrowby.ini", "[OP]\r\n1=1\r\n");
  {
    TFastIniFile ini(dir / "MARROWBY.INI");
    EXPECT_TRUE(ini.ReadBool("OP", "1", false));
    ini.WriteBool("OP", "2", true);
  }
  EXPECT_EQ(ReadFile(dir / "marrowby.ini"), "[OP]\r\n1=1\r\n2=1\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "MARROWBY.INI"));
}

TEST(IniWrite, TextsTheFormatCannotHoldAreRefused) {
  TempDir dir;
  WriteFile(dir / "a.ini", "[S]\r\nk=v\r\n");
  TFastIniFile ini(dir / "a.ini");
  struct Case { std::string section, key, value; } cases[] = {
      {"S", "k", "two\r\nlines"}, {"S", "k", "line\n[Evil]"}, {"S", "k", std::string("nul\0x", 5)},
      {"S\n", "k", "v"}, {"S", "a=b", "v"}, {"S", "[x", "y]"}, {"S", " ;k", "v"}, {"S", "k\r", "v"},
      {"S", "   ", "v"},
  };
  for (const auto& c : cases) EXPECT_THROW(ini.WriteString(c.section, c.key, c.value), Error) << c.key;
  EXPECT_FALSE(ini.Modified());
  EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
}

TEST(IniWrite, IndexedSectionsStayConsistentThroughChanges) {
  // Two big sections (indexed mode): lines inserted and removed in the first must not
  // disturb the key index of the second, and the first's own index must follow.
  TempDir dir;
  std::string text;
  for (const char* s : {"A", "B"}) {
    text += std::string("[") + s + "]\r\n";
    for (int i = 0; i < 300; ++i) text += std::string(s) + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    text += "; end of " + std::string(s) + "\r\n";
  }
  WriteFile(dir / "a.ini", text);
  {
    TFastIniFile ini(dir / "a.ini");
    EXPECT_EQ(ini.ReadString("B", "B150", ""), "150");  // builds B's index
    EXPECT_EQ(ini.ReadString("A", "A10", ""), "10");    // builds A's index
    ini.WriteString("A", "new1", "n1");
    ini.WriteString("A", "new2", "n2");
    ini.DeleteKey("A", "A0");
    EXPECT_EQ(ini.ReadString("B", "B150", ""), "150");
    EXPECT_EQ(ini.ReadString("B", "B299", ""), "299");
    EXPECT_EQ(ini.ReadString("A", "A299", ""), "299");
    EXPECT_EQ(ini.ReadString("A", "new2", ""), "n2");
    EXPECT_EQ(ini.ReadString("A", "A0", "-"), "-");
    ini.WriteString("B", "B7", "seven");
    ini.EraseSection("A");
    EXPECT_EQ(ini.ReadString("B", "B7", ""), "seven");
    EXPECT_EQ(ini.ReadString("B", "B0", ""), "0");
  }
  TFastIniFile again(dir / "a.ini");
  EXPECT_EQ(again.ReadSections(), std::vector<std::string>{"B"});
  EXPECT_EQ(again.ReadString("B", "B7", ""), "seven");
  EXPECT_EQ(again.ReadSection("B").size(), 300u);
}

}  // namespace
}  // namespace mrw
