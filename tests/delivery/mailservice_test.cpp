// Runs the stand-in mail service program and sends through it as the wizard does.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "delivery/accounts_ex.h"
#include "delivery/instance_lock.h"
#include "delivery/send_mail.h"
#include "delivery/send_package.h"
#include "mail_service_process.h"

namespace mrw::delivery {
namespace {

using namespace std::chrono_literals;
using Service = test::MailServiceProcess;
using test::MailServiceBinary;

class MailServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(MailServiceBinary())) << "build the mailservice target: " << MailServiceBinary();
    link.runtimeFolder = runtime.str();
    link.startupTime = 0ms;
    link.livenessRetryWait = 10ms;
    link.sendRetryWait = 10ms;
  }

  std::vector<std::filesystem::path> Outbox() { return test::OutboxMails(outbox.str()); }

  test::TempDir runtime;
  test::TempDir outbox;
  test::TempDir work;
  MailServiceLink link;
};

TEST_F(MailServiceTest, APackageSentThroughTheServiceArrivesByteForByteInTheOutbox) {
  Service service(runtime.str(), outbox.str());
  ASSERT_TRUE(service.WaitReady(runtime.str()));

  // The account list of a host database: the chosen account's sender becomes "From".
  TAccounts list;
  TACC first;
  first.accountId = "A";
  first.senderAddress = "a@firma.de";
  TACC chosen;
  chosen.accountId = "B";
  chosen.senderAddress = "versand@firma.de";
  chosen.senderName = "Büro Müller";
  list.Add(first);
  list.Add(chosen);
  test::WriteFile(work / "db/EmailAccounts/all_accounts_qm.txt", list.Write());
  TAccountsEx accounts(work.str());
  accounts.Load(work / "db");

  std::string package(300000, '\0');
  std::mt19937 random(7);
  for (char& c : package) c = static_cast<char>(random());
  const std::string name = "Auftrag_" + work.path().filename().string() + ".Qtf";
  test::WriteFile(work / name, package);

  const auto result = SendPackageByMail(work / name, "kunde@example.de",
                                        [&](int32_t) { return accounts.HandOver("B", false); }, link);
  EXPECT_TRUE(result.taken);
  std::filesystem::remove(result.copyPath);

  const auto mails = Outbox();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].extension(), ".eml");
  const std::string mail = test::ReadFile(mails[0].string());
  EXPECT_NE(mail.find("\r\nTo: kunde@example.de\r\n"), std::string::npos);
  EXPECT_NE(mail.find("\r\nSubject: Quillmar Auftrag Export\r\n"), std::string::npos);
  EXPECT_EQ(mail.rfind("From: =?UTF-8?B?", 0), 0u) << mail.substr(0, 80);
  EXPECT_NE(mail.find(" <versand@firma.de>\r\n"), std::string::npos);

  std::string attachment;
  ASSERT_TRUE(test::MailAttachment(mail, name, attachment));
  EXPECT_EQ(attachment, package);

  EXPECT_EQ(service.Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(runtime.str() + kMailPipeName));
  EXPECT_FALSE(IdentifierHeld(runtime.str(), kMailProgramIdentifier));
}

TEST_F(MailServiceTest, RequestTextsCannotAddHeaderLines) {
  Service service(runtime.str(), outbox.str());
  ASSERT_TRUE(service.WaitReady(runtime.str()));
  TSendMailStruct mail;
  mail.email = "kunde@example.de\r\nBcc: fremd@example.com";
  mail.subject = "Hallo\nX-Injected: 1";
  ASSERT_TRUE(SendMail(mail, 0, link));
  const auto mails = Outbox();
  ASSERT_EQ(mails.size(), 1u);
  const std::string text = test::ReadFile(mails[0].string());
  EXPECT_EQ(text.find("\nBcc:"), std::string::npos);
  EXPECT_EQ(text.find("\nX-Injected:"), std::string::npos);
  EXPECT_NE(text.find("\r\nTo: kunde@example.de  Bcc: fremd@example.com\r\n"), std::string::npos);
}

TEST_F(MailServiceTest, ASecondServiceRefusesToRun) {
  Service service(runtime.str(), outbox.str());
  ASSERT_TRUE(service.WaitReady(runtime.str()));
  Service second(runtime.str(), outbox.str());
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_TRUE(EnsureMailProgram(link));  // the first one still answers
}

TEST_F(MailServiceTest, OnlyAServiceThatAnswersInTimeTakesTheMail) {
  link.replyTimeout = 1000ms;
  link.livenessAttempts = 2;
  link.sendAttempts = 2;
  const std::pair<const char*, bool> modes[] = {{"slow", true}, {"refuse", false}, {"never-reply", false}};
  for (const auto& [mode, taken] : modes) {
    Service service(runtime.str(), outbox.str(), mode);  // "slow" answers after 200 ms
    ASSERT_TRUE(service.WaitReady(runtime.str()));
    TSendMailStruct mail;
    mail.email = "kunde@example.de";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendMail(mail, 0, link), taken) << mode;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << mode;
    EXPECT_EQ(service.Stop(), 0) << mode;
    // One that never replies may have written the mail, but the sender cannot know and must
    // not report it as sent.
    if (std::string(mode) != "never-reply") {
      EXPECT_EQ(Outbox().size(), 1u) << mode;  // the slow one's mail, nothing from refusing
    }
  }
}

// Sets environment variables for one test and restores them afterwards.
class ScopedEnv {
 public:
  void Set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first, it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first);
      }
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(MailServiceTest, ASendStartsTheInstalledServiceWhenNoneRuns) {
  // Installed as the mail program in the folder the registry stand-in names.
  const std::string install = work / "Mail";
  std::filesystem::create_directories(install);
  std::filesystem::create_symlink(MailServiceBinary(), install + "/helvix2.exe");
  test::WriteFile(work / "registry.ini", std::string("[") + (kMailProgramRegistryKey + 1) + "]\r\nInstallLocation=" +
                                              install + "\r\n");
  ScopedEnv env;
  env.Set("QM_REGISTRY_FILE", work / "registry.ini");
  env.Set("XDG_RUNTIME_DIR", runtime.str());
  env.Set("QM_MAIL_OUTBOX", outbox.str());
  link.runtimeFolder = "";  // the user's runtime folder, as in production
  link.livenessRetryWait = 200ms;
  ASSERT_FALSE(IdentifierHeld("", kMailProgramIdentifier));

  const std::string package = work / (work.path().filename().string() + ".Qtf");
  test::WriteFile(package, "PK");
  const auto result = SendPackageByMail(package, "kunde@example.de", {}, link);
  EXPECT_TRUE(result.taken);
  std::filesystem::remove(result.copyPath);
  EXPECT_EQ(Outbox().size(), 1u);

  // Stop the started service through the process id in its lock file.
  ASSERT_TRUE(IdentifierHeld("", kMailProgramIdentifier));
  const pid_t pid = std::stoi(test::ReadFile(IdentifierLockPath("", kMailProgramIdentifier)));
  ASSERT_GT(pid, 0);
  ::kill(pid, SIGTERM);
  for (int n = 0; n < 500 && IdentifierHeld("", kMailProgramIdentifier); ++n) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(IdentifierHeld("", kMailProgramIdentifier));
}

}  // namespace
}  // namespace mrw::delivery
