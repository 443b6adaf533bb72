#include <map>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "delivery/account_format.h"
#include "delivery/accounts.h"
#include "delivery/colour_names.h"
#include "delivery/password_cipher.h"

namespace mrw::delivery {
namespace {

// A line of the account format with the given raw field texts (quoted as written); every
// other field is "0" for flags and the kind, "" else.
std::string Line(const std::map<int, std::string>& fields) {
  static const std::set<int> flags = {0, 5, 10, 16, 17, 19, 20, 21, 29, 30};
  std::string line;
  for (int pos = 0; pos < 37; ++pos) {
    auto it = fields.find(pos);
    std::string text = it != fields.end() ? it->second : (flags.count(pos) ? "0" : "");
    std::string quoted;
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    line += "\"" + quoted + "\",";
  }
  return line + "\r\n";
}

TEST(PasswordCipher, ProtectedBytesThatLookLikeLineEndsOrEscapesSurviveTheFile) {
  // Find passwords whose protected form holds each troublesome byte.
  std::map<char, std::string> found;
  std::mt19937 random(42);
  std::uniform_int_distribution<int> printable(0x21, 0x7E);
  for (int n = 0; n < 20000 && found.size() < 4; ++n) {
    std::string password = "ß";
    for (int k = 0; k < 8; ++k) password += static_cast<char>(printable(random));
    const std::string protectedBytes = CipherProtect(password);
    ASSERT_EQ(protectedBytes.size(), password.size());
    ASSERT_EQ(CipherUnprotect(protectedBytes), password);
    for (char c : {'\r', '\n', '\0', '%'}) {
      if (protectedBytes.find(c) != std::string::npos && !found.count(c)) found[c] = password;
    }
  }
  ASSERT_EQ(found.size(), 4u);

  TAccounts accounts;
  for (const auto& [byte, password] : found) {
    TACC a;
    a.accountId = "acc" + std::to_string(static_cast<int>(byte));
    a.popPassword = password;
    a.smtpPassword = password;
    a.imap.password = password;
    accounts.Add(a);
  }
  const std::string file = accounts.Write();
  // One line per account: no protected byte broke a line.
  size_t lines = 0;
  for (char c : file) lines += c == '\n';
  EXPECT_EQ(lines, found.size());
  EXPECT_EQ(file.find('\0'), std::string::npos);

  TAccounts read;
  read.Read(file);
  ASSERT_EQ(read.Count(), static_cast<int>(found.size()));
  int n = 0;
  for (const auto& entry : found) {
    const std::string& password = entry.second;
    EXPECT_EQ(read.Get(n).popPassword, password);
    EXPECT_EQ(read.Get(n).smtpPassword, password);
    EXPECT_EQ(read.Get(n).imap.password, password);
    ++n;
  }
}

TEST(PasswordCipher, EachFieldStartsFromAFreshState) {
  EXPECT_EQ(CipherProtect("geheim"), CipherProtect("geheim"));
  EXPECT_NE(CipherProtect("geheim"), "geheim");
  // The feedback of plain bytes: a change in one byte changes the bytes after it.
  EXPECT_NE(CipherProtect("aX").substr(1), CipherProtect("bX").substr(1));
}

TEST(AccountFormat, WritesQuotedEscapedFieldsInPositionOrder) {
  TACC a;
  a.flag0 = true;
  a.popPort = "110";
  a.smtpServer = "smtp.example.de";
  a.smtpUser = "say \"hi\"";
  a.smtpPort = "25";
  a.flag10 = true;
  a.fileName = "C:\\Mail\\konto.txt";
  a.colour1 = 0;
  a.colour2 = 0x00123456;
  a.template1 = "<a href=\"x\">100%</a>\r\n";
  a.kind = 10;
  a.accountId = "K1";
  a.bcc = "b@c.de";
  a.senderName = "Müller";
  a.imap.flag2 = true;
  a.displayName = "Büro";
  a.text36 = std::string("a\0b", 3);

  TAccounts accounts;
  accounts.Add(a);
  const std::string expected =
      "\"1\",\"110\",\"\",\"\",\"\",\"0\",\"smtp.example.de\",\"say \"\"hi\"\"\",\"25\",\"\",\"1\","
      "\"konto.txt\",\"clNone\",\"$00123456\",\"<a href=%|x%|>100%%</a>%c%n\",\"\",\"10\",\"0\","
      "\"K1\",\"0\",\"0\",\"0\",\"b@c.de\",\"\",\"M\xFCller\",\"\",\"\",\"\",\"\",\"0\",\"1\",\"\","
      "\"\",\"\",\"B\xFCro\",\"\",\"a%0b\",\r\n";
  EXPECT_EQ(accounts.Write(), expected);
  // The write rules change the record itself.
  EXPECT_EQ(accounts.Get(0).fileName, "konto.txt");
  EXPECT_EQ(accounts.Get(0).colour1, kColourNone);

  accounts.Get(0).leaveOutFileName = true;
  EXPECT_NE(accounts.Write().find("\"1\",\"\",\"clNone\""), std::string::npos);
  EXPECT_EQ(TAccounts().Write(), "");
}

TEST(AccountFormat, ReadsAndNormalisesFields) {
  const std::string file =
      Line({{1, " 110 "}, {8, "\t25"}, {11, "C:\\Mail\\x.txt"}, {12, "clRed"}, {13, "Gummibärchen"},
            {16, "7"}, {18, "A"}, {22, "keine Adresse"}, {10, "true"}, {5, "1"}}) +
      Line({{12, "clnone"}, {13, "$00ff00ff"}, {16, "10"}, {18, "B"}, {22, "x@y.de"}, {14, "<b>%|%%%"},
            {34, "Name \"quoted\""}}) +
      Line({{12, "0"}, {13, "255"}, {16, "1"}, {18, "C"}}) +
      "\r\n" +                                           // an empty line adds nothing
      "\"0\",unquoted,\"x\"\r\n" +                        // a short line: the rest stays empty
      Line({{18, "lost"}}).substr(0, Line({{18, "lost"}}).size() - 2);  // no CR LF: not read

  TAccounts accounts;
  accounts.Read(file);
  ASSERT_EQ(accounts.Count(), 4);
  const TACC& a = accounts.Get(0);
  EXPECT_EQ(a.popPort, "110");
  EXPECT_EQ(a.smtpPort, "25");
  EXPECT_EQ(a.fileName, "x.txt");
  EXPECT_EQ(a.colour1, 0x0000FFu);
  EXPECT_EQ(a.colour2, kColourNone);
  EXPECT_EQ(a.kind, 0);
  EXPECT_EQ(a.bcc, "");
  EXPECT_FALSE(a.flag10);  // only "1" is true
  EXPECT_TRUE(a.flag5);
  EXPECT_EQ(a.template1, kDefaultTemplate1);
  EXPECT_EQ(a.template2, kDefaultTemplate2);

  const TACC& b = accounts.Get(1);
  EXPECT_EQ(b.colour1, kColourNone);
  EXPECT_EQ(b.colour2, 0x00FF00FFu);
  EXPECT_EQ(b.kind, 10);
  EXPECT_EQ(b.bcc, "x@y.de");
  EXPECT_EQ(b.template1, "<b>\"%");  // the lone "%" at the end is dropped
  EXPECT_EQ(b.displayName, "Name \"quoted\"");

  const TACC& c = accounts.Get(2);
  EXPECT_EQ(c.colour1, kColourNone);  // colour 0 is no colour
  EXPECT_EQ(c.colour2, 255u);
  EXPECT_EQ(c.kind, 1);

  EXPECT_EQ(accounts.Get(3).popPort, "unquoted");
  EXPECT_EQ(accounts.Get(3).popUser, "x");
  EXPECT_EQ(accounts.Get(3).popServer, "");
}

TEST(AccountFormat, ReadingAndWritingKeepsAFileOfThisFormatByteForByte) {
  TACC a;
  a.popPort = "995";
  a.popPassword = "p%\r\n";
  a.colour1 = 0xFF00000F;  // a system colour, written by name
  a.colour2 = 0x00ABCDEF;
  a.template1 = kDefaultTemplate1;
  a.template2 = "<i>\"x\"</i>";
  a.accountId = "Ä1";
  a.fileName = "f.txt";
  TAccounts original;
  original.Add(a);
  original.Add(a);
  const std::string bytes = original.Write();
  EXPECT_NE(bytes.find("\"clBtnFace\",\"$00abcdef\""), std::string::npos);

  TAccounts read;
  read.Read(bytes);
  EXPECT_EQ(read.Write(), bytes);
}

TEST(ColourNames, ReadNamesAndNumbers) {
  struct Case {
    const char* text;
    std::optional<uint32_t> value;
  };
  const Case cases[] = {
      {"clNone", kColourNone}, {"CLWHITE", 0xFFFFFFu}, {"clBtnFace", 0xFF00000Fu}, {"$1FFFFFFF", kColourNone},
      {"-16777201", 0xFF00000Fu}, {"0x10", 16u}, {"", std::nullopt}, {"$", std::nullopt},
      {"12a", std::nullopt}, {"4294967296", std::nullopt}, {"clPink", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ColourFromText(c.text), c.value) << c.text;
  EXPECT_EQ(ColourToText(kColourNone), "clNone");
  EXPECT_EQ(ColourToText(0x0000FF), "clRed");
  EXPECT_EQ(ColourToText(0x00000001), "$00000001");
}

}  // namespace
}  // namespace mrw::delivery
