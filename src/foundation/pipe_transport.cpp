#include "foundation/pipe_transport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "foundation/errors.h"
#include "foundation/paths.h"
#include "foundation/runtime_dir.h"

namespace mrw {
namespace {

// How long a client waiting for a busy pipe sleeps before it tries again.
constexpr std::chrono::milliseconds kBusyPoll{20};

bool FillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

// Milliseconds left until `deadline` for poll(), never negative.
int PollTimeout(PipeClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - PipeClock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 1000 * 60 * 60));
}

// Waits for `events` on fd until the deadline: 0 when ready, else an errno value.
int WaitReady(int fd, short events, PipeClock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, PollTimeout(deadline));
    if (r > 0) return 0;
    if (r == 0) return ETIMEDOUT;
    if (errno != EINTR) return errno;
    if (PipeClock::now() >= deadline) return ETIMEDOUT;
  }
}

}  // namespace

std::string PipeSocketPath(const std::string& folder, const std::string& name) {
  return AddPathDelimiter(folder.empty() ? GetRuntimeFolder() : folder) + name;
}

PipeConnection& PipeConnection::operator=(PipeConnection&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void PipeConnection::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

int PipeConnection::WriteAll(const void* data, size_t size, PipeClock::time_point deadline) {
  if (fd_ < 0) return EBADF;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::send(fd_, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      p += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (const int e = WaitReady(fd_, POLLOUT, deadline)) return e;
      continue;
    }
    return n < 0 ? errno : EPIPE;
  }
  return 0;
}

long PipeConnection::ReadSome(void* data, size_t size, PipeClock::time_point deadline) {
  if (fd_ < 0) return -EBADF;
  for (;;) {
    const ssize_t n = ::recv(fd_, data, size, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -errno;
    if (const int e = WaitReady(fd_, POLLIN, deadline)) return -e;
  }
}

int PipeConnection::ReadExact(void* data, size_t size, PipeClock::time_point deadline) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const long n = ReadSome(p, size, deadline);
    if (n < 0) return static_cast<int>(-n);
    if (n == 0) return EPIPE;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

PipeOpenResult OpenPipe(const std::string& socketPath) {
  PipeOpenResult result;
  sockaddr_un address;
  if (!FillAddress(socketPath, address)) {
    result.error = ENAMETOOLONG;
    return result;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    result.error = static_cast<unsigned>(errno);
    return result;
  }
  PipeConnection connection(fd);
  int r;
  do {
    r = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (r != 0 && errno == EINTR);
  if (r == 0) {
    result.connection = std::move(connection);
    return result;
  }
  switch (errno) {
    case ENOENT:
    case ECONNREFUSED:
    case ENOTDIR:
      result.error = kPipeErrorFileNotFound;
      break;
    case EAGAIN:
      result.error = kPipeErrorBusy;
      break;
    default:
      result.error = static_cast<unsigned>(errno);
  }
  return result;
}

unsigned WaitForPipeInstance(unsigned openError, std::chrono::milliseconds remaining) {
  if (openError == kPipeErrorFileNotFound) return kPipeErrorFileNotFound;
  std::this_thread::sleep_for(std::clamp(remaining, std::chrono::milliseconds(0), kBusyPoll));
  return 0;
}

PipeListener::PipeListener(const std::string& socketPath, int backlog) : path_(socketPath) {
  sockaddr_un address;
  if (!FillAddress(socketPath, address)) throw Error("Pipe-Name zu lang: " + socketPath);
  struct stat st;
  if (::lstat(socketPath.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) throw Error("Kein Socket: " + socketPath);
    PipeOpenResult probe = OpenPipe(socketPath);
    if (probe.error == 0 || probe.error == kPipeErrorBusy) {
      throw Error("Die Pipe " + socketPath + " wird bereits bedient");
    }
    ::unlink(socketPath.c_str());
  }
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw Error("Socket kann nicht erstellt werden: " + std::string(std::strerror(errno)));
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd_, backlog) != 0) {
    const int e = errno;
    ::close(fd_);
    fd_ = -1;
    throw Error("Pipe " + socketPath + " kann nicht erstellt werden: " + std::strerror(e));
  }
  ::chmod(socketPath.c_str(), 0600);
}

PipeListener::~PipeListener() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(path_.c_str());
  }
}

PipeConnection PipeListener::Accept(std::chrono::milliseconds timeout) {
  pollfd p{fd_, POLLIN, 0};
  const int r = ::poll(&p, 1, static_cast<int>(timeout.count()));
  if (r <= 0) return {};
  const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  return fd < 0 ? PipeConnection() : PipeConnection(fd);
}

}  // namespace mrw
