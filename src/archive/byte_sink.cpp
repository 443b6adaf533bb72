#include "archive/byte_sink.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/errors.h"

namespace mrw::archive {

namespace {
constexpr std::size_t kBufferSize = 1 << 18;
}

FileSink::FileSink(const std::string& path) : path_(path) {
  // Not O_TRUNC: a file another writer holds must not lose its bytes before the lock
  // tells us it is taken.
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  bool ok = fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0 && ftruncate(fd_, 0) == 0;
  if (!ok) {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    throw FileCreateError("Datei " + path + " kann nicht erstellt werden");
  }
  buffer_.reserve(kBufferSize);
}

FileSink::~FileSink() {
  if (fd_ < 0) return;
  try {
    Flush();
  } catch (...) {
  }
  close(fd_);
}

void FileSink::WriteThrough(const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw Error("Datei " + path_ + " kann nicht geschrieben werden");
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void FileSink::Write(std::string_view bytes) {
  if (fd_ < 0) throw Error("Datei " + path_ + " kann nicht geschrieben werden");
  if (buffer_.size() + bytes.size() > kBufferSize) {
    Flush();
    if (bytes.size() >= kBufferSize) {
      WriteThrough(bytes.data(), bytes.size());
      position_ += static_cast<std::int64_t>(bytes.size());
      return;
    }
  }
  buffer_.append(bytes);
  position_ += static_cast<std::int64_t>(bytes.size());
}

void FileSink::Flush() {
  if (buffer_.empty()) return;
  if (fd_ < 0) throw Error("Datei " + path_ + " kann nicht geschrieben werden");
  // Drop the buffer even when writing fails, so that a second attempt (the destructor)
  // does not write half of it again behind what already went out.
  std::string pending;
  pending.swap(buffer_);
  buffer_.reserve(kBufferSize);
  WriteThrough(pending.data(), pending.size());
}

void FileSink::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  try {
    Flush();
  } catch (...) {
    close(fd);
    fd_ = -1;
    throw;
  }
  fd_ = -1;
  if (close(fd) != 0) throw Error("Datei " + path_ + " kann nicht geschrieben werden");
}

}  // namespace mrw::archive
