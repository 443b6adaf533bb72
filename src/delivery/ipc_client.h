// TIPCClient: one request and one reply over the mail pipe, then the end mark.
//
// Wire format, all integers little-endian:
//   request:  ID length L (i64) | ID (L bytes, ANSI) | data size D (i64) | data (D bytes)
//   reply:    the same layout; a length of 0 or less means nothing follows
//   end mark: i64 -1, written before the connection is closed
// The request goes out in separate writes: length + ID, the data size, then the data in
// pieces of at most 65,536 bytes.
//
// Failures raise nothing: they end in ErrorText()/ErrorCode() and AnswerValid() false.
// Connecting fails at once when nobody serves the pipe ("WaitNamedPipe failed while wating
// for the pipe", 2) and after the connect timeout ("IPC client failed with WAIT timeout",
// 258) while it stays busy; a failed connect keeps its own error and nothing is written. Once connected, the
// exchange must complete within the reply timeout (30 s by default); a service that hangs
// counts as a failed read (code ETIMEDOUT) instead of blocking the caller for good.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "delivery/ipc_message.h"
#include "foundation/pipe_transport.h"

namespace mrw::delivery {

inline constexpr std::chrono::milliseconds kDefaultReplyTimeout{30000};

class TIPCClient {
 public:
  TIPCClient();
  ~TIPCClient();
  TIPCClient(const TIPCClient&) = delete;
  TIPCClient& operator=(const TIPCClient&) = delete;

  // "" means "." (this computer). Pipes on other computers are not reachable here: opening
  // them fails as "file not found".
  void SetServerName(const std::string& name);
  void SetPipeName(const std::string& name);
  // The folder that holds local pipes' sockets; "" = the user's runtime folder.
  void SetPipeFolder(const std::string& folder) { pipeFolder_ = folder; }
  void SetReplyTimeout(std::chrono::milliseconds timeout) { replyTimeout_ = timeout; }

  const std::string& ServerName() const { return serverName_; }
  const std::string& PipeName() const { return pipeName_; }
  // "\\<server>\pipe\<name>", the pipe's name in the host's notation.
  const std::string& PipePath() const { return pipePath_; }

  // Connect, exchange, disconnect. `reply` receives a fresh message once the request is
  // written (even when reading it then fails). Returns AnswerValid().
  bool SendMessage(const MessagePtr& request, unsigned connectTimeoutMs, MessagePtr& reply);

  bool AnswerValid() const { return answerValid_; }
  const std::string& ErrorText() const { return errorText_; }
  uint32_t ErrorCode() const { return errorCode_; }
  bool Connected() const { return connected_; }

 private:
  void RebuildPath();
  bool IsLocalServer() const;
  void Connect(unsigned timeoutMs);
  void Exchange(const TMessageData& request, MessagePtr& reply);
  void Disconnect();
  void Fail(const char* text, unsigned code);

  std::string pipePath_;
  std::string errorText_;
  uint32_t errorCode_ = 0;
  std::string pipeName_;
  PipeConnection handle_;
  bool connected_ = false;
  bool answerValid_ = false;
  std::string serverName_ = ".";
  std::string pipeFolder_;
  std::chrono::milliseconds replyTimeout_ = kDefaultReplyTimeout;
};

}  // namespace mrw::delivery
