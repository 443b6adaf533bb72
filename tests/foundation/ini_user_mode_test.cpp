// The UserMode.INI accessors: quoting, write-back, and swallowed failures.
#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "foundation/user_mode.h"

namespace mrw {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(UserMode, TextsComeBackUnchanged) {
  TempDir dir;
  for (const std::string text : {"", "plain", "say \"hi\"", "\"", "a;b ; c", "C:/Users/Jürgen/", " blanks "}) {
    UserModeWriteString("T", text, dir.str());
    EXPECT_EQ(UserModeReadString("T", "<def>", dir.str()), text) << text;
  }
  UserModeWriteString("Q", "a\"b", dir.str());
  UserModeWriteString("E", "", dir.str());
  EXPECT_EQ(ReadFile(dir / "UserMode.INI"), "[MODE]\r\nT=\" blanks \"\r\nQ=\"a\"\"b\"\r\nE=\"\"\r\n");
}

TEST(UserMode, StoredValuesAndDefaults) {
  TempDir dir;
  WriteFile(dir / "UserMode.INI", "[MODE]\r\nraw=C:\\data\r\nopen=\"unclosed\r\nflag=1\r\nnum=0x10\r\n");
  EXPECT_EQ(UserModeReadString("raw", "", dir.str()), "C:\\data");  // unquoted values as they are
  EXPECT_EQ(UserModeReadString("open", "", dir.str()), "unclosed");
  EXPECT_EQ(UserModeReadString("missing", "d\"ef", dir.str()), "d\"ef");
  EXPECT_TRUE(UserModeReadBool("flag", false, dir.str()));
  EXPECT_EQ(UserModeReadInteger("num", 0, dir.str()), 16);
  EXPECT_EQ(UserModeReadInteger("missing", 7, dir.str()), 7);
  EXPECT_EQ(UserModeReadString("", "d", dir.str(), true), "d");  // empty key: nothing
  UserModeWriteBool("", true, dir.str());
  EXPECT_EQ(ReadFile(dir / "UserMode.INI"), "[MODE]\r\nraw=C:\\data\r\nopen=\"unclosed\r\nflag=1\r\nnum=0x10\r\n");
}

TEST(UserMode, WriteBackMakesTheKeyExist) {
  TempDir dir;
  EXPECT_EQ(UserModeReadString("MRW.AccountUID", "", dir.str(), true), "");
  EXPECT_FALSE(UserModeReadBool("MRW.OnlySave", false, dir.str(), true));
  EXPECT_EQ(UserModeReadInteger("N", 5, dir.str(), true), 5);
  WriteFile(dir / "other/UserMode.INI", "[MODE]\r\nraw=x\r\n");
  EXPECT_EQ(UserModeReadString("raw", "", dir / "other", true), "x");
  EXPECT_EQ(ReadFile(dir / "UserMode.INI"), "[MODE]\r\nMRW.AccountUID=\"\"\r\nMRW.OnlySave=0\r\nN=5\r\n");
  EXPECT_EQ(ReadFile(dir / "other/UserMode.INI"), "[MODE]\r\nraw=\"x\"\r\n");
}

TEST(UserMode, FailuresAreSwallowed) {
  TempDir dir;
  WriteFile(dir / "notafolder", "x");
  const std::string bad = dir / "notafolder";
  UserModeWriteString("T", "v", bad);
  UserModeWriteBool("B", true, bad);
  EXPECT_EQ(UserModeReadString("T", "d", bad, true), "d");
  EXPECT_TRUE(UserModeReadBool("B", true, bad, true));
  // A text the file cannot hold is not written, and nothing else breaks.
  UserModeWriteString("T", "two\nlines", dir.str());
  EXPECT_EQ(UserModeReadString("T", "d", dir.str()), "d");
}

}  // namespace
}  // namespace mrw
