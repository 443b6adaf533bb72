#include "delivery/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/errors.h"
#include "foundation/paths.h"
#include "foundation/runtime_dir.h"

namespace mrw::delivery {

std::string IdentifierLockPath(const std::string& folder, const std::string& identifier) {
  return AddPathDelimiter(folder.empty() ? GetRuntimeFolder() : folder) + identifier + ".lock";
}

bool IdentifierHeld(const std::string& folder, const std::string& identifier) {
  const std::string path = IdentifierLockPath(folder, identifier);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;  // no lock file: nobody has ever held it here
  int r;
  do {
    r = ::flock(fd, LOCK_SH | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  const bool held = r != 0 && errno == EWOULDBLOCK;
  ::close(fd);  // closing drops the shared lock taken for the test
  return held;
}

bool IdentifierLock::TryAcquire(const std::string& folder, const std::string& identifier) {
  Release();
  const std::string path = IdentifierLockPath(folder, identifier);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) throw Error("Datei " + path + " kann nicht erstellt werden");
  int r;
  do {
    r = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    ::close(fd);
    return false;
  }
  // The file names its holder, for whoever has to find the running program.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
  }
  fd_ = fd;
  return true;
}

void IdentifierLock::Release() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace mrw::delivery
