#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "delivery/instance_lock.h"
#include "delivery/send_mail.h"
#include "delivery/send_package.h"
#include "fake_pipe_server.h"
#include "foundation/errors.h"
#include "foundation/folders.h"

namespace mrw::delivery {
namespace {

using namespace std::chrono_literals;
using test::FakePipeServer;

std::vector<std::string> Names(const std::string& data) {
  std::vector<std::string> names;
  for (const auto& value : ReadNamedValues(data)) names.push_back(value.name);
  return names;
}

int32_t Action(const test::ReceivedRequest& request) {
  const auto values = ReadNamedValues(request.data);
  const NamedValue* action = FindNamedValue(values, "Action");
  return action ? action->AsInteger().value_or(0) : 0;
}

class SendMailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.runtimeFolder = dir.str();
    link.startupTime = 0ms;
    link.sleep = [this](std::chrono::milliseconds d) { sleeps.push_back(d); };
    // A running mail program: nothing is started.
    ASSERT_TRUE(program.TryAcquire(dir.str(), kMailProgramIdentifier));
  }

  std::string Socket() { return dir / kMailPipeName; }

  test::TempDir dir;
  MailServiceLink link;
  std::vector<std::chrono::milliseconds> sleeps;
  IdentifierLock program;
};

TEST_F(SendMailTest, TheRequestCarriesItsNamedValuesInOrderAndLeavesEmptyTextsOut) {
  FakePipeServer server(Socket(), [](const test::ReceivedRequest&) { return FakePipeServer::EmptyReply(); });
  TSendMailStruct mail;
  mail.subject = "Betreff";
  mail.body = "Hallo";
  mail.email = " a@b.de ";
  mail.attachments = "/tmp/x.Qtf";
  mail.extralogfileName = "log";
  int calls = 0;
  mail.accounts = [&](int32_t p) {
    ++calls;
    EXPECT_EQ(p, 7);
    return std::string("/tmp/acc.sac");
  };
  ASSERT_TRUE(SendMail(mail, 7, link));
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(sleeps.empty());

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(Action(requests[0]), kActionAlive);
  EXPECT_EQ(Names(requests[0].data), std::vector<std::string>{"Action"});
  // The message ID is the local date and time.
  EXPECT_EQ(requests[1].id.size(), std::string("11.12.2026 16:20:00").size());
  EXPECT_EQ(requests[1].id[2], '.');

  EXPECT_EQ(Names(requests[1].data), (std::vector<std::string>{"Action", "attachments", "accounts", "MessagePriority",
                                                               "email", "subject", "body", "extralogfileName",
                                                               "infopart"}));
  const auto values = ReadNamedValues(requests[1].data);
  EXPECT_EQ(values[0].AsInteger(), kActionSend);
  EXPECT_EQ(values[2].AsText(), "/tmp/acc.sac");
  EXPECT_EQ(values[3].AsInteger(), 0);
  EXPECT_EQ(values[4].AsText(), " a@b.de ");  // as typed
  EXPECT_EQ(values[6].AsText(), "<html><font size=\"3\" color=\"#000000\"  face=\"Verdana\">Hallo</font></html>");
  EXPECT_EQ(values[8].AsText(), "Gesendet per IPC");
}

TEST(OutgoingBody, IsWrappedOnceAndOnlyForHtml) {
  TSendMailStruct mail;
  mail.body = "<html>schon</html>";
  EXPECT_EQ(OutgoingBody(mail), "<html>schon</html>");
  mail.body = "<HTML>x";  // the test is case-sensitive
  EXPECT_EQ(OutgoingBody(mail), WrapHtmlBody("<HTML>x"));
  mail.plainOnly = true;
  EXPECT_EQ(OutgoingBody(mail), "<HTML>x");
}

TEST_F(SendMailTest, FailedAttemptsAreRetriedWithANewHandOverEachAndEndAsFailure) {
  // The service answers liveness requests but hangs up on every send request.
  FakePipeServer server(
      Socket(), [](const test::ReceivedRequest& r) { return Action(r) == kActionAlive ? FakePipeServer::EmptyReply() : ""; },
      true);
  TSendMailStruct mail;
  mail.email = "a@b.de";
  int calls = 0;
  mail.accounts = [&](int32_t) { return "/tmp/acc" + std::to_string(++calls) + ".sac"; };
  EXPECT_FALSE(SendMail(mail, 0, link));
  EXPECT_EQ(calls, 5);
  EXPECT_EQ(sleeps, std::vector<std::chrono::milliseconds>(5, 100ms));  // after every failed attempt, the fifth too
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 6u);
  for (int n = 1; n <= 5; ++n) {
    EXPECT_EQ(FindNamedValue(ReadNamedValues(requests[n].data), "accounts")->AsText(),
              "/tmp/acc" + std::to_string(n) + ".sac");
  }
}

TEST_F(SendMailTest, WithoutAnyServiceAllAttemptsEndQuicklyAndTheSendFails) {
  TSendMailStruct mail;
  mail.email = "a@b.de";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(SendMail(mail, 0, link));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  std::vector<std::chrono::milliseconds> expected(10, 1000ms);
  expected.insert(expected.end(), 5, 100ms);
  EXPECT_EQ(sleeps, expected);
}

class MailProgramStart : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("QM_REGISTRY_FILE");
    if (old) oldRegistry = old;
    hadRegistry = old != nullptr;
    const std::string install = dir / "Mail Programm";
    test::WriteFile(install + "/helvix2.exe", "#!/bin/sh\necho started > \"" + (dir / "started") + "\"\n");
    std::filesystem::permissions(install + "/helvix2.exe", std::filesystem::perms::owner_all);
    test::WriteFile(dir / "registry.ini", std::string("[") + (kMailProgramRegistryKey + 1) +
                                              "]\r\nInstallLocation=" + install + "\r\n");
    ::setenv("QM_REGISTRY_FILE", (dir / "registry.ini").c_str(), 1);
    link.runtimeFolder = dir.str();
    link.startupTime = 0ms;
    link.livenessAttempts = 1;
    link.sleep = [](std::chrono::milliseconds) {};
  }
  void TearDown() override {
    if (hadRegistry) {
      ::setenv("QM_REGISTRY_FILE", oldRegistry.c_str(), 1);
    } else {
      ::unsetenv("QM_REGISTRY_FILE");
    }
  }
  bool Started() {
    for (int n = 0; n < 200 && !std::filesystem::exists(dir / "started"); ++n) std::this_thread::sleep_for(10ms);
    return std::filesystem::exists(dir / "started");
  }

  test::TempDir dir;
  MailServiceLink link;
  std::string oldRegistry;
  bool hadRegistry = false;
};

TEST_F(MailProgramStart, StartsTheProgramTheRegistryNamesOnlyWhenNoneRuns) {
  EXPECT_EQ(MailProgramCommand(), dir / "Mail Programm/helvix2.exe");
  {
    IdentifierLock running;
    ASSERT_TRUE(running.TryAcquire(dir.str(), kMailProgramIdentifier));
    EXPECT_FALSE(EnsureMailProgram(link));  // nobody answers, but nothing is started
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(std::filesystem::exists(dir / "started"));
  }
  EXPECT_FALSE(EnsureMailProgram(link));
  EXPECT_TRUE(Started());

  ::setenv("QM_REGISTRY_FILE", (dir / "missing.ini").c_str(), 1);
  EXPECT_EQ(MailProgramCommand(), "helvix2.exe");
}

TEST(MailSize, TheLimitIsTenThousandTwoHundredFortyKilobytes) {
  struct Case {
    uint64_t bytes;
    const char* shown;
    bool refused;
  };
  const Case cases[] = {
      {10485760, "10.240,000 kB", false},
      {10485761, "10.240,001 kB", true},
      {0, "0,000 kB", false},
      {1023, "0,999 kB", false},
      {123456789, "120.563,271 kB", true},
      {1099511627776ull, "1.073.741.824,000 kB", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatKilobytes(c.bytes), c.shown);
    const auto message = MailSizeMessage(c.bytes);
    EXPECT_EQ(message.has_value(), c.refused) << c.bytes;
    if (message) {
      EXPECT_EQ(*message, std::string("<B>Die Dateigrösse beträgt ") + c.shown +
                              "<BR>Eine solche Größe kann nicht per Mail versendet werden.");
    }
  }
}

TEST_F(SendMailTest, APackageGoesOutAsACopyInTheSendFolder) {
  FakePipeServer server(Socket(), [](const test::ReceivedRequest&) { return FakePipeServer::EmptyReply(); });
  // The send folder is shared by everything that runs as this user: a name of our own.
  const std::string name = "Export_" + dir.path().filename().string() + ".Qtf";
  const std::string package = dir / name;
  test::WriteFile(package, "package bytes");
  const auto result = SendPackageByMail(package, " kunde@example.de", [](int32_t) { return std::string(); }, link);
  EXPECT_TRUE(result.taken);
  EXPECT_EQ(result.copyPath, GetTempFolder(kSendFolderPurpose) + name);
  EXPECT_EQ(test::ReadFile(result.copyPath), "package bytes");

  const auto values = ReadNamedValues(server.Requests().back().data);
  EXPECT_EQ(FindNamedValue(values, "attachments")->AsText(), result.copyPath);
  EXPECT_EQ(FindNamedValue(values, "accounts"), nullptr);  // no account: left out
  EXPECT_EQ(FindNamedValue(values, "email")->AsText(), " kunde@example.de");
  EXPECT_EQ(FindNamedValue(values, "subject")->AsText(), kMailSubject);
  EXPECT_EQ(FindNamedValue(values, "infopart")->AsText(), kPackageInfopart);
  const std::string body = FindNamedValue(values, "body")->AsText();
  EXPECT_EQ(body, WrapHtmlBody(kMailBody));
  EXPECT_EQ(body.find("<html>", 1), std::string::npos);
  std::filesystem::remove(result.copyPath);

  // A package that cannot be read stops before any request.
  const size_t before = server.Requests().size();
  EXPECT_THROW(SendPackageByMail(dir / "fehlt.Qtf", "a@b.de", {}, link), Error);
  EXPECT_EQ(server.Requests().size(), before);
}

}  // namespace
}  // namespace mrw::delivery
