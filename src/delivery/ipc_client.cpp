#include "delivery/ipc_client.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace mrw::delivery {
namespace {

constexpr size_t kPiece = 0x10000;
constexpr int64_t kEndMark = -1;
constexpr auto kEndMarkTimeout = std::chrono::milliseconds(1000);

}  // namespace

TIPCClient::TIPCClient() { RebuildPath(); }

TIPCClient::~TIPCClient() { Disconnect(); }

void TIPCClient::SetServerName(const std::string& name) {
  serverName_ = name.empty() ? "." : name;
  RebuildPath();
}

void TIPCClient::SetPipeName(const std::string& name) {
  pipeName_ = name;
  RebuildPath();
}

void TIPCClient::RebuildPath() { pipePath_ = "\\\\" + serverName_ + "\\pipe\\" + pipeName_; }

bool TIPCClient::IsLocalServer() const {
  if (serverName_ == ".") return true;
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return false;
  return serverName_ == host || serverName_ == "localhost";
}

void TIPCClient::Fail(const char* text, unsigned code) {
  errorText_ = text;
  errorCode_ = code;
}

void TIPCClient::Connect(unsigned timeoutMs) {
  handle_.Close();
  connected_ = false;
  errorText_.clear();
  errorCode_ = 0;
  const auto start = PipeClock::now();
  const auto timeout = std::chrono::milliseconds(timeoutMs);
  std::string socketPath;
  try {
    socketPath = PipeSocketPath(pipeFolder_, pipeName_);
  } catch (const std::exception&) {
    // No usable runtime folder (not private, not ours): the pipe cannot be opened.
    Fail("CreateFile failed while creating new pipe handle", EACCES);
    return;
  }
  for (;;) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(PipeClock::now() - start);
    if (elapsed >= timeout) {
      if (!handle_.IsOpen()) Fail("IPC client failed with WAIT timeout", kPipeErrorWaitTimeout);
      return;
    }
    PipeOpenResult opened;
    if (IsLocalServer()) {
      opened = OpenPipe(socketPath);
    } else {
      opened.error = kPipeErrorFileNotFound;
    }
    if (opened.error == 0) {
      handle_ = std::move(opened.connection);
      connected_ = true;
      return;
    }
    if (opened.error != kPipeErrorFileNotFound && opened.error != kPipeErrorBusy) {
      Fail("CreateFile failed while creating new pipe handle", opened.error);
      return;
    }
    const unsigned waited = WaitForPipeInstance(opened.error, std::max(timeout - elapsed, std::chrono::milliseconds(0)));
    if (waited != 0) {
      Fail("WaitNamedPipe failed while wating for the pipe", waited);
      return;
    }
  }
}

void TIPCClient::Exchange(const TMessageData& request, MessagePtr& reply) {
  answerValid_ = false;
  errorCode_ = 0;
  reply.reset();
  const auto deadline = PipeClock::now() + replyTimeout_;
  const std::string& data = request.Data().Bytes();
  const std::string& id = request.Id();

  if (const int e = handle_.WriteAll((Int64Le(static_cast<int64_t>(id.size())) + id).data(), 8 + id.size(), deadline)) {
    return Fail("WriteFile failed while writing message ID", static_cast<unsigned>(e));
  }
  if (const int e = handle_.WriteAll(Int64Le(static_cast<int64_t>(data.size())).data(), 8, deadline)) {
    return Fail("WriteFile failed while writing message data size", static_cast<unsigned>(e));
  }
  for (size_t pos = 0; pos < data.size(); pos += kPiece) {
    const size_t piece = std::min(kPiece, data.size() - pos);
    if (const int e = handle_.WriteAll(data.data() + pos, piece, deadline)) {
      return Fail("WriteFile failed while writing message chunk", static_cast<unsigned>(e));
    }
  }

  reply = std::make_shared<TMessageData>();
  unsigned char size[8];
  if (const int e = handle_.ReadExact(size, 8, deadline)) {
    return Fail("ReadFile failed while reading message ID length", static_cast<unsigned>(e));
  }
  std::vector<char> buffer(kPiece);
  // Texts arrive in pieces, so an absurd announced length costs no more memory than the
  // bytes the peer really sends.
  auto readBlock = [&](int64_t total, std::string& out) -> int {
    while (static_cast<int64_t>(out.size()) < total) {
      const size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kPiece), total - static_cast<int64_t>(out.size())));
      if (const int e = handle_.ReadExact(buffer.data(), want, deadline)) return e;
      out.append(buffer.data(), want);
    }
    return 0;
  };
  const int64_t idLength = ReadInt64Le(size);
  if (idLength > 0) {
    std::string replyId;
    if (const int e = readBlock(idLength, replyId)) {
      return Fail("ReadFile failed while reading message ID", static_cast<unsigned>(e));
    }
    reply->SetId(std::move(replyId));
  }
  if (const int e = handle_.ReadExact(size, 8, deadline)) {
    return Fail("ReadFile failed while reading message data size", static_cast<unsigned>(e));
  }
  const int64_t dataSize = ReadInt64Le(size);
  if (dataSize > 0) {
    std::string replyData;
    if (const int e = readBlock(dataSize, replyData)) {
      return Fail("ReadFile failed while reading message data", static_cast<unsigned>(e));
    }
    reply->Data().Assign(std::move(replyData));
  }
  answerValid_ = true;
}

void TIPCClient::Disconnect() {
  if (!handle_.IsOpen()) return;
  const std::string endMark = Int64Le(kEndMark);
  handle_.WriteAll(endMark.data(), endMark.size(), PipeClock::now() + kEndMarkTimeout);
  handle_.Close();
  connected_ = false;
}

bool TIPCClient::SendMessage(const MessagePtr& request, unsigned connectTimeoutMs, MessagePtr& reply) {
  answerValid_ = false;
  Connect(connectTimeoutMs);
  // A failed connect keeps its own error text: the exchange would only replace the real
  // cause (nobody serves the pipe, or it stayed busy) with a failed first write.
  if (connected_) {
    try {
      static const TMessageData kEmptyRequest;
      Exchange(request ? *request : kEmptyRequest, reply);
    } catch (...) {
      Disconnect();
      throw;
    }
  } else {
    reply.reset();
  }
  Disconnect();
  return answerValid_;
}

}  // namespace mrw::delivery
