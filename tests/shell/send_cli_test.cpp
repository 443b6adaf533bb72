// `mrw export --send` end to end: a demo host database, the program as a user runs it,
// and the mail service on the other end of the pipe, first the stand-in service (the mail
// that leaves), then a scripted server that keeps the request's bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "delivery/accounts.h"
#include "delivery/fake_pipe_server.h"
#include "delivery/instance_lock.h"
#include "delivery/ipc_message.h"
#include "delivery/mail_service_process.h"
#include "delivery/send_mail.h"
#include "export/demo_host_database.h"
#include "two_accounts.h"

namespace mrw::shell::test {
namespace {

namespace fs = std::filesystem;
using mrw::test::ReadFile;
using mrw::test::TempDir;

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::vector<std::string> Lines(const std::string& text, const std::string& sep) {
  std::vector<std::string> out;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find(sep, pos);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(pos, end - pos));
    pos = end + sep.size();
  }
  return out;
}

struct MrwRun {
  int code;
  std::string out, err;
};

class SendCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(mrw::test::MailServiceBinary())) << "build the mailservice target";
    DemoDatabaseOptions o;
    o.orders = 300;
    o.seed = 5;
    o.today = EncodeDate(2024, 4, 3);
    CreateDemoHostDatabase(db_, o);
    WriteTwoAccounts(db_);

    // Two order numbers of the thirty days, as the listing shows them.
    MrwRun list_run = Mrw("--list");
    ASSERT_EQ(list_run.code, 0) << list_run.err;
    auto rows = Lines(list_run.out, "\n");
    ASSERT_GE(rows.size(), 5u);
    orders_ = Lines(rows[3] + "\t", "\t")[1] + "," + Lines(rows[4] + "\t", "\t")[1];
  }

  // mrw export on the demo database (thirty days up to 03.04.2024) with `args`, in an
  // environment of the test's own: temporary, home and runtime folders.
  MrwRun Mrw(const std::string& args) {
    const std::string out = scratch_ / "stdout", err = scratch_ / "stderr";
    const std::string cmd = "TMPDIR=" + Quote(scratch_.str()) + " HOME=" + Quote(scratch_.str()) +
                            " XDG_CONFIG_HOME=" + Quote(scratch_ / "config") + " XDG_RUNTIME_DIR=" +
                            Quote(runtime_.str()) + " QM_REGISTRY_FILE=" + Quote(scratch_ / "registry.ini") + " " +
                            Quote(MRW_BIN) + " export " + Quote(db_) + " --today 03.04.2024 --range 30tage " + args +
                            " >" + Quote(out) + " 2>" + Quote(err);
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
  }

  std::vector<std::string> SentLogLines() {
    std::vector<std::string> sent;
    for (const auto& line : Lines(ReadFile(db_ + "MRW/exported.txt"), "\r\n")) {
      if (line.find(" Gesendet nach ") != std::string::npos) sent.push_back(line);
    }
    return sent;
  }

  TempDir scratch_;
  TempDir runtime_;
  std::string db_ = scratch_.str() + "host db/";
  std::string outbox_ = scratch_.str() + "outbox/";
  std::string orders_;
};

TEST_F(SendCommand, TheStandInServiceMailsThePackageAndTheExportIsLoggedAsSent) {
  mrw::test::MailServiceProcess service(runtime_.str(), outbox_);
  ASSERT_TRUE(service.WaitReady(runtime_.str()));

  MrwRun r = Mrw("--orders " + orders_ + " --send kunde@example.de --account alpha");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto printed = Lines(r.out, "\n");
  ASSERT_EQ(printed.size(), 1u);
  const std::string copy = printed[0];
  EXPECT_EQ(fs::path(copy).parent_path().filename(), "send.tmp");
  EXPECT_EQ(fs::path(copy).extension(), ".Qtf");

  const auto mails = mrw::test::OutboxMails(outbox_);
  ASSERT_EQ(mails.size(), 1u);
  const std::string mail = ReadFile(mails[0].string());
  EXPECT_NE(mail.find("\r\nTo: kunde@example.de\r\n"), std::string::npos);
  EXPECT_NE(mail.find("\r\nSubject: Quillmar Auftrag Export\r\n"), std::string::npos);
  EXPECT_NE(mail.find("alpha@firma.de"), std::string::npos);  // the account chosen
  std::string attachment;
  ASSERT_TRUE(mrw::test::MailAttachment(mail, fs::path(copy).filename().string(), attachment));
  EXPECT_FALSE(attachment.empty());
  EXPECT_EQ(attachment, ReadFile(copy));

  const auto sent = SentLogLines();
  ASSERT_EQ(sent.size(), 2u);
  for (const auto& line : sent) EXPECT_NE(line.find("] Gesendet nach kunde@example.de "), std::string::npos) << line;
  EXPECT_EQ(ReadFile(db_ + "marrowby_setup/LASTOPEXPORT.TXT"), "kunde@example.de\r\n");
  EXPECT_EQ(service.Stop(), 0);
}

TEST_F(SendCommand, TheRequestCarriesItsNamedValuesInOrderAsUtf16) {
  delivery::IdentifierLock program;  // the mail program runs; its service is scripted
  ASSERT_TRUE(program.TryAcquire(runtime_.str(), delivery::kMailProgramIdentifier));
  mrw::test::FakePipeServer service(runtime_.str() + delivery::kMailPipeName, [](const mrw::test::ReceivedRequest&) {
    return mrw::test::FakePipeServer::EmptyReply();
  });

  MrwRun r = Mrw("--orders " + orders_ + " --send 'Anna Müller <anna@example.de>'");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 2u);  // liveness, send
  const auto& request = requests[1];
  // The message ID: local date and time in ANSI.
  ASSERT_EQ(request.id.size(), 19u) << request.id;
  EXPECT_EQ(request.id[2], '.');
  EXPECT_EQ(request.id[13], ':');

  const auto values = delivery::ReadNamedValues(request.data);
  std::vector<std::string> names;
  for (const auto& v : values) names.push_back(v.name);
  ASSERT_EQ(names, (std::vector<std::string>{"Action", "attachments", "accounts", "MessagePriority", "email",
                                             "subject", "body", "infopart"}));
  EXPECT_EQ(values[0].bytes, std::string("\x03\0\0\0", 4));
  EXPECT_EQ(values[1].AsText() + "\n", r.out);  // the copy that was printed
  EXPECT_EQ(fs::path(values[2].AsText()).extension(), ".sac");
  struct stat st {};
  ASSERT_EQ(::stat(values[2].AsText().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(values[3].bytes, std::string(4, '\0'));
  // Texts are UTF-16LE: "ü" is FC 00.
  EXPECT_NE(values[4].bytes.find(std::string("M\0\xFC\0l\0l\0", 8)), std::string::npos);
  EXPECT_EQ(values[4].AsText(), "Anna Müller <anna@example.de>");
  EXPECT_EQ(values[5].AsText(), "Quillmar Auftrag Export");
  const std::string body = values[6].AsText();
  EXPECT_EQ(body.rfind("<html><font size=\"3\" color=\"#000000\"  face=\"Verdana\"><b>Dies ist eine", 0), 0u);
  EXPECT_EQ(body.find("<html>", 1), std::string::npos);  // wrapped once
  EXPECT_EQ(values[7].AsText(), "Gesendet per IPC [Auftragexport]");
  EXPECT_EQ(SentLogLines().size(), 2u);
}

TEST_F(SendCommand, AnAddressTheDialogRefusesOrAnUnknownAccountSendsNothing) {
  delivery::IdentifierLock program;
  ASSERT_TRUE(program.TryAcquire(runtime_.str(), delivery::kMailProgramIdentifier));
  mrw::test::FakePipeServer service(runtime_.str() + delivery::kMailPipeName, [](const mrw::test::ReceivedRequest&) {
    return mrw::test::FakePipeServer::EmptyReply();
  });
  MrwRun no_at = Mrw("--orders " + orders_ + " --send kunde.example.de");
  EXPECT_EQ(no_at.code, 1);
  EXPECT_NE(no_at.err.find("Geben Sie Bitte eine Emailadresse ein."), std::string::npos) << no_at.err;
  MrwRun unknown = Mrw("--orders " + orders_ + " --send kunde@example.de --account nobody");
  EXPECT_EQ(unknown.code, 1);
  EXPECT_NE(unknown.err.find("nobody"), std::string::npos) << unknown.err;
  EXPECT_TRUE(unknown.out.empty());
  EXPECT_TRUE(service.Requests().empty());
  EXPECT_TRUE(SentLogLines().empty());
}

}  // namespace
}  // namespace mrw::shell::test
