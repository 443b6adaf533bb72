// The exception types the lower layers throw. Every one carries the message text the user
// may see (German where the system's own text is German); callers catch mrw::Error.
#pragma once

#include <stdexcept>
#include <string>

namespace mrw {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// An input/output error with an error code (e.g. code 3 for a folder that cannot be made).
class InOutError : public Error {
 public:
  InOutError(const std::string& message, int code) : Error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// A file that could not be created or opened ("Datei %s kann nicht erstellt werden").
class FileCreateError : public Error {
 public:
  using Error::Error;
};

}  // namespace mrw
