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

// One attempt: the descriptor, or an empty one with errno set.
UniqueFd TryOpen(const std::string& name, TFileStreamEx::Mode mode) {
  const bool create = mode == TFileStreamEx::Mode::kCreate;
  // O_NONBLOCK keeps a FIFO planted under the name from blocking the open; it is cleared
  // again for the regular file that is left.
  int flags = (create ? (O_WRONLY | O_CREAT) : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  UniqueFd fd(::open(name.c_str(), flags, 0666));
  if (!fd.valid()) return fd;
  auto fail = [&fd](int err) {
    fd.reset();
    errno = err;
    return std::move(fd);
  };
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return fail(EINVAL);
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  if (::flock(fd.get(), (create ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) return fail(errno);
  if (create && ::ftruncate(fd.get(), 0) != 0) return fail(errno);
  return fd;
}

}  // namespace

TFileStreamEx::TFileStreamEx(const std::string& file_name, Mode mode, const IniRetry& retry) {
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> first_failure;
  for (;;) {
    fd_ = TryOpen(file_name, mode);
    if (fd_.valid()) return;
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

TFileStreamEx::~TFileStreamEx() = default;  // closing releases the lock

bool TFileStreamEx::ReadAll(std::string& out) {
  struct stat st;
  if (::fstat(fd_.get(), &st) == 0 && st.st_size > 0) out.reserve(out.size() + static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buffer, static_cast<size_t>(n));
  }
}

bool TFileStreamEx::WriteAll(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace mrw
