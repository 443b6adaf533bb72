// The local stand-in of a named pipe: a Unix domain stream socket named after the pipe in
// the user's runtime folder ("\\.\pipe\NAME" -> "<runtime folder>/NAME").
//
// Opening reports the outcomes a pipe client distinguishes: success, "file not found" (no
// socket file, or nobody listening on it), "busy" (the listener's backlog is full) and any
// other system error. Reads and writes take an absolute deadline so that no caller can hang
// on a peer that stops answering; SIGPIPE is never raised.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace mrw {

// The error codes the pipe layer speaks (Windows numbers, as the pipe's callers report them).
inline constexpr unsigned kPipeErrorFileNotFound = 2;
inline constexpr unsigned kPipeErrorBusy = 231;
inline constexpr unsigned kPipeErrorWaitTimeout = 258;

using PipeClock = std::chrono::steady_clock;

// The socket path of pipe `name` in `folder` ("" = the user's runtime folder).
std::string PipeSocketPath(const std::string& folder, const std::string& name);

// One open end of a pipe connection. Move-only; closes on destruction.
class PipeConnection {
 public:
  PipeConnection() = default;
  explicit PipeConnection(int fd) : fd_(fd) {}
  ~PipeConnection() { Close(); }
  PipeConnection(PipeConnection&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  PipeConnection& operator=(PipeConnection&& other) noexcept;
  PipeConnection(const PipeConnection&) = delete;
  PipeConnection& operator=(const PipeConnection&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Writes all `size` bytes before `deadline`. Returns 0 or the system error (ETIMEDOUT
  // when the deadline passed, EPIPE when the peer has gone).
  int WriteAll(const void* data, size_t size, PipeClock::time_point deadline);
  // Reads exactly `size` bytes before `deadline`. Returns 0 or the system error (EPIPE
  // when the peer closed before all bytes came, ETIMEDOUT when the deadline passed).
  int ReadExact(void* data, size_t size, PipeClock::time_point deadline);
  // Reads what is there, at least one byte, at most `size`, before `deadline`. Returns the
  // byte count (0 = the peer closed) or -errno.
  long ReadSome(void* data, size_t size, PipeClock::time_point deadline);
  void Close();

 private:
  int fd_ = -1;
};

struct PipeOpenResult {
  PipeConnection connection;  // open when error == 0
  unsigned error = 0;         // 0, kPipeErrorFileNotFound, kPipeErrorBusy or an errno value
};

// Opens a connection to the pipe's socket without waiting.
PipeOpenResult OpenPipe(const std::string& socketPath);

// The named-pipe wait after a failed open: when nobody serves the pipe (the open failed
// with "file not found") it fails at once with that code; for a busy pipe it waits a short
// moment (never longer than `remaining`) and returns 0 so the caller tries again.
unsigned WaitForPipeInstance(unsigned openError, std::chrono::milliseconds remaining);

// The server end: listens on the pipe's socket. A stale socket file nobody listens on is
// replaced; a live one makes the constructor throw mrw::Error.
class PipeListener {
 public:
  PipeListener(const std::string& socketPath, int backlog = 16);
  ~PipeListener();
  PipeListener(const PipeListener&) = delete;
  PipeListener& operator=(const PipeListener&) = delete;

  // Waits up to `timeout` for a client; returns a closed connection when none came (or
  // the wait was interrupted by a signal).
  PipeConnection Accept(std::chrono::milliseconds timeout);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace mrw
