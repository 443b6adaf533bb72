#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <regex>
#include <set>

#include "foundation/guid.h"
#include "foundation/names.h"

namespace mrw {
namespace {

TEST(CleanFileName, DropsWhatNoFileNameMayHold) {
  struct Case { std::string in; bool spaces; std::string out; } cases[] = {
      {"a:b?c.txt", false, "abc.txt"},
      {"a b.txt", true, "ab.txt"},
      {"a b.txt", false, "a b.txt"},
      {"  <Müller|Söhne>/\\*\"  ", false, "MüllerSöhne"},
      {"\t x\x01y\r\n ", false, "xy"},
      {std::string("a\0b", 3), false, "ab"},
      {" : ", false, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CleanFileName(c.in, c.spaces), c.out) << c.in;
}

TEST(Names, ComputerAndUser) {
  std::string computer = GetComputerNameStr();
  EXPECT_FALSE(computer.empty());
  EXPECT_LE(computer.size(), 15u);
  EXPECT_EQ(computer.find('.'), std::string::npos);
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_EQ(std::string(host).rfind(computer, 0), 0u);

  const passwd* pw = getpwuid(geteuid());
  ASSERT_NE(pw, nullptr);
  EXPECT_EQ(GetUserNameStr(), pw->pw_name);
}

TEST(Guid, VersionFourLayoutUpperCaseAndFresh) {
  const std::regex layout("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    std::string guid = NewGuid();
    EXPECT_TRUE(std::regex_match(guid, layout)) << guid;
    seen.insert(guid);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(Guid, ElfHashKnownValues) {
  struct Case { const char* text; std::uint32_t hash; } cases[] = {
      {"", 0},
      {"A", 65},
      {"hello", 7258927},
      {"ABCDEFGHIJ", 144632490},  // long enough for the high nibble to fold back
      {"12345678-9ABC-4DEF-8123-456789ABCDEF", 144000262},
  };
  for (const auto& c : cases) EXPECT_EQ(ElfHash(c.text), c.hash) << c.text;
  EXPECT_EQ(ElfHash("\xFF\xFE"), (0xFFu << 4) + 0xFE);  // bytes count unsigned
}

}  // namespace
}  // namespace mrw
