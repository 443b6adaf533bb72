// "Senden" through the controller: the account box, the recipient dialog, the size limit,
// and what is logged depending on whether the mail service took the package. A scripted
// pipe server plays the service; the waits between attempts are recorded, not slept.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "controller_fixture.h"
#include "delivery/accounts.h"
#include "two_accounts.h"
#include "delivery/fake_pipe_server.h"
#include "delivery/instance_lock.h"
#include "delivery/ipc_message.h"
#include "delivery/send_package.h"
#include "foundation/folders.h"
#include "foundation/user_mode.h"
#include "foundation/scoped_env.h"

namespace mrw::shell::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using delivery::ReadNamedValues;
using mrw::test::FakePipeServer;

class SendTest : public ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    mail_link_.runtimeFolder = dir_.str();
    mail_link_.startupTime = 0ms;
    mail_link_.sleep = [this](std::chrono::milliseconds d) { waits_.push_back(d); };
    // The mail program runs: a send never starts one.
    ASSERT_TRUE(program_.TryAcquire(dir_.str(), delivery::kMailProgramIdentifier));
    WriteTwoAccounts(db_);
  }

  // Starts the controller on the thirty days and marks the first two rows shown.
  Controller& StartWithTwoMarked() {
    Controller& c = Start();
    c.fmClick();
    db::Table& t = c.orders();
    t.First();
    c.MarkCurrentRow();
    t.Next();
    c.MarkCurrentRow();
    return c;
  }

  void TypeAddress(const std::string& address) {
    view_.recipient_dialog = [address](delivery::RecipientDialogState& s) {
      s.address = address;
      return true;
    };
  }

  std::string ExportLog() { return mrw::test::ReadFile(db_ + "MRW/exported.txt"); }
  std::string Socket() { return dir_.str() + delivery::kMailPipeName; }

  mrw::test::ScopedEnv tmpdir_{"TMPDIR", dir_.str()};
  delivery::IdentifierLock program_;
  std::vector<std::chrono::milliseconds> waits_;
};

TEST_F(SendTest, ATakenPackageIsLoggedAsSentWithTheChosenAccount) {
  FakePipeServer service(Socket(), [](const mrw::test::ReceivedRequest&) { return FakePipeServer::EmptyReply(); });
  Controller& c = StartWithTwoMarked();
  ASSERT_EQ(view_.account_items, (std::vector<std::string>{"Alpha", "Büro"}));
  view_.account_index = 0;
  c.DCACIndexChange();
  TypeAddress(" kunde@example.de ");

  c.fbsendClick();
  ASSERT_TRUE(c.LastSend().taken) << (view_.messages.empty() ? "" : view_.messages.back());
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(view_.busy_changes % 2, 0);  // the busy cursor is off again

  // The copy in the send folder is the package the work folder holds.
  EXPECT_EQ(fs::path(c.LastSend().copy_path).parent_path().filename(), "send.tmp");
  EXPECT_EQ(mrw::test::ReadFile(c.LastSend().copy_path), mrw::test::ReadFile(c.export_state().LastPackagePath));

  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 2u);  // liveness, then the send
  const auto values = ReadNamedValues(requests[1].data);
  const auto* email = delivery::FindNamedValue(values, "email");
  const auto* accounts = delivery::FindNamedValue(values, "accounts");
  ASSERT_TRUE(email && accounts);
  EXPECT_EQ(email->AsText(), " kunde@example.de ");  // as typed
  delivery::TAccounts handed;
  handed.Read(mrw::test::ReadFile(accounts->AsText()));
  ASSERT_EQ(handed.Count(), 2);
  EXPECT_EQ(handed.Get(0).accountId, "alpha");  // the chosen account comes first

  // One log line per order, each saying where it went, and both orders marked.
  const std::string log = ExportLog();
  size_t lines = 0;
  for (size_t pos = 0; (pos = log.find(" Gesendet nach  kunde@example.de  ", pos)) != std::string::npos; ++pos) ++lines;
  EXPECT_EQ(lines, 2u) << log;
  for (int64_t id : c.export_state().ExportedOrderIds) {
    for (const auto& o : ReadHostOrders(db_)) {
      if (o.id == id) {
        EXPECT_NE(o.gzs.find(" exportiert\r\n"), std::string::npos);
      }
    }
  }
  // The history keeps the address trimmed; "LAST" as typed.
  EXPECT_EQ(mrw::test::ReadFile(db_ + "marrowby_setup/LASTOPEXPORT.TXT"), "kunde@example.de\r\n");
}

TEST_F(SendTest, WithoutAServiceNothingIsLoggedAndTheUserIsTold) {
  Controller& c = StartWithTwoMarked();
  TypeAddress("kunde@example.de");
  const auto before = ReadHostOrders(db_);

  c.fbsendClick();
  EXPECT_FALSE(c.LastSend().taken);
  EXPECT_EQ(view_.messages, std::vector<std::string>{delivery::kMailNotTakenMessage});
  // Ten liveness attempts and five send attempts, each followed by its wait.
  std::vector<std::chrono::milliseconds> expected(10, 1000ms);
  expected.insert(expected.end(), 5, 100ms);
  EXPECT_EQ(waits_, expected);
  EXPECT_EQ(ExportLog().find("Gesendet"), std::string::npos);
  const auto after = ReadHostOrders(db_);
  ASSERT_EQ(after.size(), before.size());
  for (size_t n = 0; n < after.size(); ++n) EXPECT_EQ(after[n].gzs, before[n].gzs) << after[n].id;
}

TEST_F(SendTest, NoAddressMeansNoRequestAndNoLogLine) {
  FakePipeServer service(Socket(), [](const mrw::test::ReceivedRequest&) { return FakePipeServer::EmptyReply(); });
  Controller& c = StartWithTwoMarked();
  // Cancel with a typed address: recorded in the history, but nothing goes out. An OK on
  // an empty address is the same as a cancel.
  view_.recipient_dialog = [](delivery::RecipientDialogState& s) {
    s.address = "vertippt@example.de";
    return false;
  };
  c.fbsendClick();
  TypeAddress("");
  c.fbsendClick();
  EXPECT_TRUE(service.Requests().empty());
  EXPECT_EQ(ExportLog().find("Gesendet"), std::string::npos);
  ASSERT_EQ(view_.dialogs_shown.size(), 2u);
  EXPECT_EQ(view_.dialogs_shown[1].history, std::vector<std::string>{"vertippt@example.de"});
  EXPECT_EQ(view_.dialogs_shown[1].address, "vertippt@example.de");  // "LAST"
}

TEST_F(SendTest, APackageOverTheLimitIsRefusedBeforeTheDialog) {
  FakePipeServer service(Socket(), [](const mrw::test::ReceivedRequest&) { return FakePipeServer::EmptyReply(); });
  Controller& c = Start();
  c.fmClick();
  c.orders().First();
  c.MarkCurrentRow();
  // Eleven megabytes that do not compress, as an attachment of the marked order.
  const int64_t id = c.orders().FieldByName("ID").AsInteger();
  std::string noise(11 << 20, '\0');
  std::mt19937 random(3);
  for (char& ch : noise) ch = static_cast<char>(random());
  mrw::test::WriteFile(db_ + "L2ROOT_ORDER/" + std::to_string(id) + "/scan.bin", noise);
  TypeAddress("kunde@example.de");

  c.fbsendClick();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].rfind("<B>Die Dateigrösse beträgt 11.", 0), 0u) << view_.messages[0];
  EXPECT_NE(view_.messages[0].find(" kB<BR>Eine solche Größe kann nicht per Mail versendet werden."), std::string::npos);
  EXPECT_TRUE(view_.dialogs_shown.empty());
  EXPECT_TRUE(service.Requests().empty());
  EXPECT_EQ(ExportLog().find("Gesendet"), std::string::npos);
}

TEST_F(SendTest, TheAccountBoxSelectsTheStoredChoiceElseTheFirst) {
  const std::pair<std::string, int> cases[] = {
      {"office", 1}, {"OFFICE", 0} /* letter case counts */, {"gone", 0}, {"", 0}};
  for (const auto& [stored, index] : cases) {
    UserModeWriteString(delivery::kAccountUidKey, stored, db_ + "marrowby_setup/");
    Controller& c = Start();
    EXPECT_EQ(view_.account_index, index) << stored;
    EXPECT_EQ(c.account_box().selected, index) << stored;
  }
  // A choice in the box is stored quoted and selected again at the next start.
  view_.account_index = 1;
  controller_->DCACIndexChange();
  EXPECT_NE(mrw::test::ReadFile(db_ + "marrowby_setup/UserMode.INI").find("MRW.AccountUID=\"office\""),
            std::string::npos);
  view_.account_index = -1;
  Start();
  EXPECT_EQ(view_.account_index, 1);
}

TEST_F(SendTest, ClosingTheWindowRemovesOnlyStaleHandOverFiles) {
  Controller& c = Start();
  const std::string temp = GetTempFolder("");
  mrw::test::WriteFile(temp + "stale.sac", "password");
  mrw::test::WriteFile(temp + "fresh.sac", "password");
  fs::last_write_time(temp + "stale.sac", fs::file_time_type::clock::now() - 49h);
  fs::last_write_time(temp + "fresh.sac", fs::file_time_type::clock::now() - 47h);
  c.FormClose();
  EXPECT_FALSE(fs::exists(temp + "stale.sac"));
  EXPECT_TRUE(fs::exists(temp + "fresh.sac"));
}

}  // namespace
}  // namespace mrw::shell::test
