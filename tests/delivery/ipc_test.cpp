#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "delivery/ipc_client.h"
#include "delivery/ipc_message.h"
#include "fake_pipe_server.h"
#include "foundation/errors.h"

namespace mrw::delivery {
namespace {

using namespace std::chrono_literals;
using test::FakePipeServer;
using test::Le64;

std::string U16(const std::string& ascii) { return Utf8ToUtf16Le(ascii); }

TEST(StreamStorage, SerialisesValuesAsTheServiceReadsThem) {
  TStreamStorage data;
  data.WriteInteger("Action", 3);
  const std::string action = std::string("\x0C\x00\x00\x00", 4) + U16("Action") + Le64(4) + std::string("\x03\x00\x00\x00", 4);
  EXPECT_EQ(data.Bytes(), action);

  data.WriteString("email", "");      // empty texts never reach the pipe
  data.WriteString("", "something");  // nor do empty names
  EXPECT_EQ(data.Bytes(), action);

  data.WriteString("subject", "Grüße");
  EXPECT_EQ(data.Bytes().substr(action.size()),
            std::string("\x0E\x00\x00\x00", 4) + U16("subject") + Le64(10) + std::string("G\0r\0\xFC\0\xDF\0e\0", 10));
  EXPECT_EQ(data.LastPosition(), static_cast<int64_t>(data.Bytes().size()));

  const auto values = ReadNamedValues(data.Bytes());
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].AsInteger(), 3);
  EXPECT_EQ(values[1].name, "subject");
  EXPECT_EQ(values[1].AsText(), "Grüße");
}

TEST(StreamStorage, RefusesADuplicateNameAndAppendsNothing) {
  TStreamStorage data;
  data.WriteString("email", "a@b.de");
  const std::string before = data.Bytes();
  try {
    data.WriteInteger("email", 1);
    FAIL() << "no exception";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Value with name \"email\" already exists");
  }
  EXPECT_EQ(data.Bytes(), before);
  // Names differ by letter case: both are written.
  EXPECT_NO_THROW(data.WriteString("Email", "x"));
}

TEST(Utf16, KeepsEveryCharacterAndTakesStrayBytesAsAnsi) {
  EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le("a€😀")), "a€😀");
  EXPECT_EQ(Utf8ToUtf16Le("\xE4"), std::string("\xE4\x00", 2));  // a lone ANSI "ä"
}

class IpcClientTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string socket = dir / "P";

  void Configure(TIPCClient& client, std::chrono::milliseconds replyTimeout = 5s) {
    client.SetServerName("");
    client.SetPipeFolder(dir.str());
    client.SetPipeName("P");
    client.SetReplyTimeout(replyTimeout);
  }
};

TEST_F(IpcClientTest, FramesTheRequestReadsTheReplyAndEndsWithTheEndMark) {
  TStreamStorage replyData;
  replyData.WriteInteger("Result", 1);
  FakePipeServer server(socket, [&](const test::ReceivedRequest&) {
    return Le64(2) + "OK" + Le64(static_cast<int64_t>(replyData.Bytes().size())) + replyData.Bytes();
  });
  TIPCClient client;
  Configure(client);
  EXPECT_EQ(client.PipePath(), "\\\\.\\pipe\\P");

  auto request = std::make_shared<TMessageData>();
  request->SetId("11.12.2026 10:00:00");
  request->Data().WriteInteger("Action", -1);
  MessagePtr reply;
  ASSERT_TRUE(client.SendMessage(request, 2000, reply)) << client.ErrorText();
  EXPECT_EQ(client.ErrorCode(), 0u);
  EXPECT_EQ(reply->Id(), "OK");
  EXPECT_EQ(reply->Data().Bytes(), replyData.Bytes());

  // Empty ID and no values: L = 0, then only the data size D = 0.
  ASSERT_TRUE(client.SendMessage(std::make_shared<TMessageData>(), 2000, reply));

  const auto streams = server.WaitForStreams(2);
  ASSERT_EQ(streams.size(), 2u);
  const std::string& first = request->Data().Bytes();
  EXPECT_EQ(streams[0], Le64(19) + "11.12.2026 10:00:00" + Le64(static_cast<int64_t>(first.size())) + first + Le64(-1));
  EXPECT_EQ(streams[1], Le64(0) + Le64(0) + std::string(8, '\xFF'));
}

TEST_F(IpcClientTest, AnEmptyReplyIsValidAndLargeDataGoThroughInPieces) {
  FakePipeServer server(socket, [](const test::ReceivedRequest&) { return FakePipeServer::EmptyReply(); });
  TIPCClient client;
  Configure(client);
  auto request = std::make_shared<TMessageData>();
  request->Data().WriteString("body", std::string(100000, 'x'));  // 200,000 bytes of text
  MessagePtr reply;
  ASSERT_TRUE(client.SendMessage(request, 2000, reply)) << client.ErrorText();
  EXPECT_TRUE(reply->Id().empty());
  EXPECT_TRUE(reply->Data().Bytes().empty());
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].data, request->Data().Bytes());
}

TEST_F(IpcClientTest, NoServiceFailsAtOnce) {
  // No socket at all, and a stale socket file nobody listens on.
  for (bool stale : {false, true}) {
    if (stale) {
      int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::strcpy(address.sun_path, socket.c_str());
      ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
      ::close(fd);  // the file stays, nobody listens
    }
    TIPCClient client;
    Configure(client);
    MessagePtr reply = std::make_shared<TMessageData>();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.SendMessage(std::make_shared<TMessageData>(), 5000, reply));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(client.ErrorText(), "WaitNamedPipe failed while wating for the pipe") << stale;
    EXPECT_EQ(client.ErrorCode(), 2u);
    EXPECT_FALSE(client.AnswerValid());
    EXPECT_EQ(reply, nullptr);
  }
}

TEST_F(IpcClientTest, ABusyServiceEndsInTheWaitTimeout) {
  // A listener that never accepts, its backlog filled by another client.
  int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socket.c_str());
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  std::vector<PipeConnection> queued;
  for (int n = 0; n < 4; ++n) {
    PipeOpenResult r = OpenPipe(socket);
    if (r.error != 0) break;
    queued.push_back(std::move(r.connection));
  }

  TIPCClient client;
  Configure(client);
  MessagePtr reply;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.SendMessage(std::make_shared<TMessageData>(), 300, reply));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, 3s);
  EXPECT_EQ(client.ErrorText(), "IPC client failed with WAIT timeout");
  EXPECT_EQ(client.ErrorCode(), 258u);
  ::close(listener);
}

TEST_F(IpcClientTest, AReplyThatNeverComesOrBreaksOffIsAFailedExchange) {
  struct Case {
    const char* name;
    std::string reply;  // "" = hang up without a reply
    std::chrono::milliseconds replyTimeout;
    const char* error;
  };
  const Case cases[] = {
      {"hang up", "", 5s, "ReadFile failed while reading message ID length"},
      {"ID cut short", Le64(10) + "abc", 5s, "ReadFile failed while reading message ID"},
      {"no data size", Le64(0), 5s, "ReadFile failed while reading message data size"},
      {"data cut short", Le64(0) + Le64(100) + "xyz", 5s, "ReadFile failed while reading message data"},
  };
  for (const Case& c : cases) {
    test::TempDir caseDir;
    FakePipeServer server(caseDir / "P", [&](const test::ReceivedRequest&) { return c.reply; }, true);
    TIPCClient client;
    client.SetPipeFolder(caseDir.str());
    client.SetPipeName("P");
    client.SetReplyTimeout(c.replyTimeout);
    MessagePtr reply;
    EXPECT_FALSE(client.SendMessage(std::make_shared<TMessageData>(), 2000, reply)) << c.name;
    EXPECT_EQ(client.ErrorText(), c.error) << c.name;
    EXPECT_NE(client.ErrorCode(), 0u) << c.name;
    EXPECT_NE(reply, nullptr) << c.name;  // the reply object exists once the request is out
  }
}

TEST_F(IpcClientTest, AServiceThatKeepsTheLineOpenWithoutAnsweringRunsIntoTheReplyBound) {
  // The server reads the request and keeps the connection until the client gives up.
  PipeListener listener(socket);
  std::thread holder([&] {
    PipeConnection c = listener.Accept(5s);
    char buffer[64];
    while (c.ReadSome(buffer, sizeof buffer, PipeClock::now() + 5s) > 0) {
    }
  });
  TIPCClient client;
  Configure(client, 300ms);
  MessagePtr reply;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.SendMessage(std::make_shared<TMessageData>(), 2000, reply));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(client.ErrorText(), "ReadFile failed while reading message ID length");
  EXPECT_EQ(client.ErrorCode(), static_cast<uint32_t>(ETIMEDOUT));
  holder.join();
}

}  // namespace
}  // namespace mrw::delivery
