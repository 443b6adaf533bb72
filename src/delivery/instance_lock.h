// Single-instance identifiers between processes of one user: a program holds an identifier
// by keeping an flock() on the file "<runtime folder>/<identifier>.lock"; others test
// whether anyone holds it. The lock goes away with the holder's process, so a crashed
// program never leaves a stale identifier behind. While held, the file holds the holder's
// process id (decimal, one line).
#pragma once

#include <string>

namespace mrw::delivery {

// The lock file of `identifier` in `folder` ("" = the user's runtime folder).
std::string IdentifierLockPath(const std::string& folder, const std::string& identifier);

// True while some process holds the identifier.
bool IdentifierHeld(const std::string& folder, const std::string& identifier);

// Holds an identifier for its lifetime.
class IdentifierLock {
 public:
  IdentifierLock() = default;
  ~IdentifierLock() { Release(); }
  IdentifierLock(const IdentifierLock&) = delete;
  IdentifierLock& operator=(const IdentifierLock&) = delete;

  // Takes the identifier; false when another process holds it. Throws mrw::Error when the
  // lock file cannot be made.
  bool TryAcquire(const std::string& folder, const std::string& identifier);
  void Release();
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace mrw::delivery
