#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "delivery/account_box.h"
#include "delivery/accounts_ex.h"
#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/user_mode.h"

namespace mrw::delivery {
namespace {

using test::ReadFile;
using test::WriteFile;

TACC Account(const std::string& id, int kind = 0, const std::string& display = "") {
  TACC a;
  a.accountId = id;
  a.kind = kind;
  a.displayName = display;
  a.senderAddress = id + "@example.de";
  return a;
}

class AccountsExTest : public ::testing::Test {
 protected:
  test::TempDir program;
  test::TempDir host;
  TAccountsEx accounts{program.str()};

  std::string AccountsFolder() { return host.str() + "EmailAccounts/"; }

  void WriteAccounts(const std::vector<TACC>& list) {
    TAccounts file;
    for (const TACC& a : list) file.Add(a);
    WriteFile(AccountsFolder() + "all_accounts_qm.txt", file.Write());
  }

  std::vector<std::string> OfferedIds(bool sort) {
    std::vector<std::string> ids;
    for (const auto& item : accounts.Fill(sort)) ids.push_back(item.account.accountId);
    return ids;
  }

  std::vector<std::string> IdsInFile(const std::string& path) {
    TAccounts read;
    read.Read(ReadFile(path));
    std::vector<std::string> ids;
    for (int n = 0; n < read.Count(); ++n) ids.push_back(read.Get(n).accountId);
    return ids;
  }
};

TEST_F(AccountsExTest, WithoutAnyFilesTheFallbackAccountStandsAlone) {
  EXPECT_TRUE(accounts.Load(host.str()));  // no user account map
  EXPECT_TRUE(std::filesystem::is_directory(AccountsFolder()));
  ASSERT_EQ(accounts.Accounts().Count(), 1);
  const TACC& a = accounts.Accounts().Get(0);
  EXPECT_EQ(a.accountId, "Standard");
  EXPECT_EQ(a.popPort, "110");
  EXPECT_EQ(a.smtpPort, "25");
  EXPECT_TRUE(a.flag10);
  EXPECT_EQ(a.kind, 0);
  EXPECT_EQ(a.smtpServer, "");
  EXPECT_EQ(a.senderAddress, "");
  EXPECT_EQ(a.template1, "");  // the fallback account is not normalised
  EXPECT_EQ(a.colour1, 0u);
  EXPECT_EQ(OfferedIds(true), std::vector<std::string>{"Standard"});
}

TEST_F(AccountsExTest, TheFallbackAccountComesFromTheIniNamedAfterTheDatabaseFolder) {
  const std::string firma = host / "Firma (1)";
  std::filesystem::create_directories(firma);
  WriteFile(program / "PLUGINS/SMTPVRK.INI", "[Last]\r\nserver=smtp.general.de\r\n");
  WriteFile(program / "PLUGINS/Firma__1_.INI",
            "[Last]\r\nserver=smtp.firma.de\r\nfrom=info@firma.de\r\nfromname=Firma\r\n"
            "[smtp]\r\nport=587\r\nuser=u1\r\npass=geheim\r\n[pop]\r\nuese=1\r\n[BCC]\r\nadresses=nobody\r\n");
  accounts.Load(firma);
  ASSERT_EQ(accounts.Accounts().Count(), 1);
  const TACC& a = accounts.Accounts().Get(0);
  EXPECT_EQ(a.smtpServer, "smtp.firma.de");
  EXPECT_EQ(a.senderAddress, "info@firma.de");
  EXPECT_EQ(a.senderName, "Firma");
  EXPECT_EQ(a.smtpPort, "587");
  EXPECT_EQ(a.smtpPassword, "geheim");  // taken verbatim
  EXPECT_EQ(a.popPort, "110");
  EXPECT_TRUE(a.popUese);
  EXPECT_EQ(a.bcc, "nobody");  // the fallback is not normalised either

  // Another database folder without its own INI uses SMTPVRK.INI.
  TAccountsEx other(program.str());
  other.Load(host / "Zweite");
  EXPECT_EQ(other.Accounts().Get(0).smtpServer, "smtp.general.de");
}

TEST(FallbackIniName, ReplacesTheForbiddenCharactersAndKeepsThirtyCharacters) {
  EXPECT_EQ(FallbackIniName("/data/Firma (1)/"), "Firma__1_");
  EXPECT_EQ(FallbackIniName("/data/Müller&Söhne.GmbH"), "M_ller_S_hne_GmbH");
  EXPECT_EQ(FallbackIniName("/data/" + std::string(40, 'x')), std::string(30, 'x'));
  EXPECT_EQ(FallbackIniName("/data/ÄÖÜß§=1"), "ÄÖÜß__1");
}

TEST_F(AccountsExTest, TheUserAccountMapDecidesWhatIsOffered) {
  WriteAccounts({Account("A", 0, "zeta"), Account("B", 1, "Alpha"), Account("C", 10), Account("D", 0, "beta")});
  // Without a map: kinds 0 and 1, sorted by shown name after the first item.
  EXPECT_TRUE(accounts.Load(host.str()));
  EXPECT_EQ(OfferedIds(false), (std::vector<std::string>{"B", "D", "A"}));  // list sorted by bytes: Alpha, beta, zeta

  // The map's line for the user, in any letter case, names B and A: that order stays.
  WriteFile(AccountsFolder() + "accounts_qm.txt", "Jemand=C\r\nSTANDARDBENUTZER=B, a ,unbekannt\r\n");
  EXPECT_FALSE(accounts.Load(host.str()));
  EXPECT_EQ(OfferedIds(true), (std::vector<std::string>{"B", "A"}));

  // The local map wins over the shared one.
  WriteFile(AccountsFolder() + "local_accounts_qm.txt", "standardbenutzer=c,A,D\r\n");
  accounts.Load(host.str());
  EXPECT_EQ(OfferedIds(false), (std::vector<std::string>{"C", "A", "D"}));
  // Sorting leaves the first item in place and orders the rest by shown name, letter case
  // ignored: "beta" before "zeta".
  EXPECT_EQ(OfferedIds(true), (std::vector<std::string>{"C", "D", "A"}));
}

TEST_F(AccountsExTest, AKindOutsideTheKnownOnesIsOfferedAsKindZero) {
  TAccounts file;
  file.Add(Account("X"));
  file.Add(Account("Y"));
  std::string bytes = file.Write();
  const std::string kind0 = "\"0\",\"0\",\"X\"";  // kind, "uese" flag, account ID
  bytes.replace(bytes.find(kind0), kind0.size(), "\"7\",\"0\",\"X\"");
  const std::string kindY = "\"0\",\"0\",\"Y\"";
  bytes.replace(bytes.find(kindY), kindY.size(), "\"10\",\"0\",\"Y\"");
  WriteFile(AccountsFolder() + "all_accounts_qm.txt", bytes);
  accounts.Load(host.str());
  EXPECT_EQ(accounts.Accounts().Find("x")->kind, 0);
  EXPECT_EQ(accounts.Accounts().Find("Y")->kind, 10);
  EXPECT_EQ(OfferedIds(true), std::vector<std::string>{"X"});
}

TEST_F(AccountsExTest, HandOverPutsTheChosenAccountFirstInAPrivateFile) {
  WriteAccounts({Account("A"), Account("B"), Account("C"), Account("D")});
  accounts.Load(host.str());
  const std::string path = accounts.HandOver("c", false);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.substr(path.size() - 4), ".sac");
  EXPECT_EQ(IdsInFile(path), (std::vector<std::string>{"C", "B", "A", "D"}));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // The list itself is back in its order, and every call makes a new file.
  EXPECT_EQ(accounts.Accounts().Get(0).accountId, "A");
  const std::string again = accounts.HandOver("C", false);
  EXPECT_NE(again, path);
  EXPECT_EQ(ReadFile(again), ReadFile(path));

  // No ID: the first account offered to the user.
  WriteFile(AccountsFolder() + "accounts_qm.txt", "Standardbenutzer=D,B\r\n");
  accounts.Load(host.str());
  EXPECT_EQ(IdsInFile(accounts.HandOver("", false)), (std::vector<std::string>{"D", "B", "C", "A"}));

  EXPECT_EQ(accounts.HandOver("weg", false), "");
  try {
    accounts.HandOver("weg", true);
    FAIL() << "no exception";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Account \"weg\" not found");
  }
}

TEST(HandOverFiles, OnlyStaleOnesAreDeleted) {
  test::TempDir temp;
  const auto now = std::filesystem::file_time_type::clock::now();
  WriteFile(temp / "old.sac", "x");
  std::filesystem::last_write_time(temp / "old.sac", now - std::chrono::hours(49));
  WriteFile(temp / "new.sac", "x");
  WriteFile(temp / "old.txt", "x");
  std::filesystem::last_write_time(temp / "old.txt", now - std::chrono::hours(49));
  DeleteStaleHandOverFiles(std::chrono::hours(48), temp.str());
  EXPECT_FALSE(std::filesystem::exists(temp / "old.sac"));
  EXPECT_TRUE(std::filesystem::exists(temp / "new.sac"));
  EXPECT_TRUE(std::filesystem::exists(temp / "old.txt"));
}

TEST_F(AccountsExTest, TheAccountBoxSelectsAndStoresTheChoice) {
  WriteAccounts({Account("A"), Account("B"), Account("b")});
  const std::string settings = host.str() + "marrowby_setup/";

  // Nothing stored yet: the first item.
  AccountBox box = FillAccountBox(accounts, host.str(), settings);
  ASSERT_EQ(box.items.size(), 3u);
  EXPECT_EQ(box.SelectedId(), "A");

  // The stored ID matches exactly (letter case counts); "b" is not "B".
  UserModeWriteString(kAccountUidKey, "b", settings);
  box = FillAccountBox(accounts, host.str(), settings);
  EXPECT_EQ(box.SelectedId(), "b");
  SelectAccount(box, "gone");
  EXPECT_EQ(box.SelectedId(), "A");

  box.selected = 1;
  StoreAccountChoice(box, settings);
  EXPECT_NE(ReadFile(settings + "UserMode.INI").find("MRW.AccountUID=\"B\""), std::string::npos);
  EXPECT_EQ(IdsInFile(AccountHandOverFile(accounts, box)).front(), "B");

  box.selected = -1;
  StoreAccountChoice(box, settings);
  EXPECT_NE(ReadFile(settings + "UserMode.INI").find("MRW.AccountUID=\"\""), std::string::npos);
  EXPECT_EQ(IdsInFile(AccountHandOverFile(accounts, box)).front(), "A");

  AccountBox empty;
  SelectAccount(empty, "A");
  EXPECT_EQ(empty.selected, -1);
}

}  // namespace
}  // namespace mrw::delivery
