#include "foundation/ini_file_stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <thread>

#include "foundation/errors.h"

namespace mrw {
namespace {

// Errors that no amount of waiting will change.
bool IsPermanent(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EROFS:
    case EINVAL:
    case ENXIO:
      return true;
    default:
      return false;
  }
}

// One attempt: the descriptor, or -1 with errno set.
int TryOpen(const std::string& name, TFileStreamEx::Mode mode) {
  const bool create = mode == TFileStreamEx::Mode::kCreate;
  // O_NONBLOCK keeps a FIFO planted under the name from blocking the open; it is cleared
  // again for the regular file that is left.
  int flags = (create ? (O_WRONLY | O_CREAT) : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd = ::open(name.c_str(), flags, 0666);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (::flock(fd, (create ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  if (create && ::ftruncate(fd, 0) != 0) {
    int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

}  // namespace

TFileStreamEx::TFileStreamEx(const std::string& file_name, Mode mode, const IniRetry& retry) {
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> first_failure;
  for (;;) {
    fd_ = TryOpen(file_name, mode);
    if (fd_ >= 0) return;
    int err = errno;
    auto now = Clock::now();
    if (!first_failure) first_failure = now;
    if (IsPermanent(err) || now - *first_failure >= retry.budget) break;
    std::this_thread::sleep_for(retry.interval);
  }
  throw FileCreateError("Datei " + file_name +
                        (mode == Mode::kCreate ? " kann nicht erstellt werden"
                                               : " kann nicht geöffnet werden"));
}

TFileStreamEx::~TFileStreamEx() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

bool TFileStreamEx::ReadAll(std::string& out) {
  struct stat st;
  if (::fstat(fd_, &st) == 0 && st.st_size > 0) out.reserve(out.size() + static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buffer, static_cast<size_t>(n));
  }
}

bool TFileStreamEx::WriteAll(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace mrw
