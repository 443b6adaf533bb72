#include "foundation/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/folders.h"
#include "foundation/paths.h"

namespace mrw {
namespace {

constexpr size_t kCopyBlock = 61440;

bool MayCreate(FileStream::Mode mode) {
  return mode == FileStream::Mode::OpenOrCreate || mode == FileStream::Mode::Create;
}

// Runs `attempt` until it returns without throwing or the attempts are used up.
template <class Attempt>
auto Retrying(const RetryPolicy& retry, Attempt&& attempt) {
  for (int n = 1;; ++n) {
    try {
      return attempt(n);
    } catch (const std::exception&) {
      if (n >= retry.attempts) throw;
    }
    retry.Wait(retry.wait);
  }
}

std::string JoinLinesAnsi(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += Utf8ToAnsi(line);
    text += "\r\n";
  }
  return text;
}

std::vector<std::string> SplitLinesAnsi(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(AnsiToUtf8(std::string_view(text).substr(start, end - start)));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
  return lines;
}

void SaveBytes(const std::string& bytes, const std::string& file_name) {
  EnsureFileFolder(file_name);
  TBetterFileStream stream(file_name, true, 1);
  stream.Write(bytes);
}

std::string LoadBytes(const std::string& file_name) {
  FileStream stream(file_name, FileStream::Mode::Read);
  return stream.ReadAll();
}

bool SameFile(int fd, const std::string& name) {
  struct stat a, b;
  return fstat(fd, &a) == 0 && stat(name.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

bool CopyFrom(FileStream& source, const std::string& target, const RetryPolicy& copy) {
  // Emptying the target would destroy the source when both are one file.
  if (SameFile(source.Handle(), target)) return true;
  std::vector<char> block(kCopyBlock);
  for (int n = 1; n <= copy.attempts; ++n) {
    try {
      FileStream out(target, FileStream::Mode::Create);
      source.Seek(0, SEEK_SET);
      while (size_t got = source.Read(block.data(), block.size())) out.Write(block.data(), got);
      return true;
    } catch (const std::exception&) {
    }
    if (n < copy.attempts) copy.Wait(copy.wait * n);
  }
  return false;
}

}  // namespace

FileStream::FileStream(const std::string& name, Mode mode) { Open(name, mode); }

void FileStream::Open(const std::string& name, Mode mode) {
  name_ = name;
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  flags |= mode == Mode::Read ? O_RDONLY : O_RDWR;
  if (MayCreate(mode)) flags |= O_CREAT;
  auto fail = [&]() {
    throw FileCreateError("Datei " + name +
                          (MayCreate(mode) ? " kann nicht erstellt werden"
                                           : " kann nicht geöffnet werden"));
  };
  // O_NONBLOCK keeps a FIFO under the name from hanging the open; it is refused below.
  UniqueFd fd(::open(name.c_str(), flags, 0666));
  if (!fd.valid()) fail();
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) fail();
  if (!S_ISREG(st.st_mode)) fail();
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) fail();
  // Emptied only now, so a file another program holds exclusively stays intact.
  if (mode == Mode::Create && ::ftruncate(fd.get(), 0) != 0) fail();
  fd_ = std::move(fd);
}

FileStream::~FileStream() = default;

size_t FileStream::Read(void* buffer, size_t count) {
  char* p = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_.get(), p + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      throw Error("Fehler beim Lesen der Datei " + name_ + " (" + std::strerror(errno) + ")");
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void FileStream::Write(const void* buffer, size_t count) {
  const char* p = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_.get(), p + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      throw Error("Fehler beim Schreiben der Datei " + name_ + " (" +
                  std::strerror(n < 0 ? errno : EIO) + ")");
    }
    done += static_cast<size_t>(n);
  }
}

std::string FileStream::ReadAll() {
  std::string bytes;
  char block[65536];
  while (size_t n = Read(block, sizeof block)) bytes.append(block, n);
  return bytes;
}

std::int64_t FileStream::Seek(std::int64_t offset, int whence) {
  off_t at = ::lseek(fd_.get(), offset, whence);
  if (at < 0) throw Error("Fehler beim Positionieren in der Datei " + name_);
  return at;
}

std::int64_t FileStream::Position() const { return ::lseek(fd_.get(), 0, SEEK_CUR); }

std::int64_t FileStream::Size() const {
  struct stat st;
  return ::fstat(fd_.get(), &st) == 0 ? st.st_size : -1;
}

void FileStream::SetSize(std::int64_t size) {
  if (::ftruncate(fd_.get(), size) != 0) {
    throw Error("Fehler beim Schreiben der Datei " + name_ + " (" + std::strerror(errno) + ")");
  }
}

TBetterFileStream::TBetterFileStream(const std::string& name, bool clear_attributes, int mode) {
  struct stat st;
  if (clear_attributes && FileExistsEx(name) && ::stat(name.c_str(), &st) == 0 &&
      (st.st_mode & S_IWUSR) == 0) {
    saved_mode_ = st.st_mode & 07777;
    changed_ = ::chmod(name.c_str(), saved_mode_ | S_IWUSR) == 0;
  }
  try {
    Open(name, mode == 1 ? Mode::Create : Mode::OpenOrCreate);
  } catch (...) {
    RestoreAttributes();
    throw;
  }
}

TBetterFileStream::~TBetterFileStream() { RestoreAttributes(); }

void TBetterFileStream::RestoreAttributes() {
  if (changed_) ::chmod(FileName().c_str(), saved_mode_);
  changed_ = false;
}

void RetryPolicy::Wait(std::chrono::milliseconds duration) const {
  if (sleep) {
    sleep(duration);
  } else {
    std::this_thread::sleep_for(duration);
  }
}

RetryPolicy FileRetry() { return {100, std::chrono::milliseconds(100)}; }
RetryPolicy CopyRetry() { return {10, std::chrono::milliseconds(100)}; }

void SaveStringsRetry(const std::vector<std::string>& lines, const std::string& file_name,
                      const RetryPolicy& retry) {
  const std::string text = JoinLinesAnsi(lines);
  Retrying(retry, [&](int) { SaveBytes(text, file_name); });
}

void LoadStringsRetry(std::vector<std::string>& lines, const std::string& file_name,
                      const RetryPolicy& retry) {
  Retrying(retry, [&](int) {
    if (FileExistsEx(file_name)) lines = SplitLinesAnsi(LoadBytes(file_name));
  });
}

bool SaveStreamRetry(const std::string& bytes, const std::string& file_name,
                     const RetryPolicy& retry) {
  Retrying(retry, [&](int) { SaveBytes(bytes, file_name); });
  return true;
}

void LoadStreamRetry(std::string& bytes, const std::string& file_name, const RetryPolicy& retry) {
  Retrying(retry, [&](int) {
    if (FileExistsEx(file_name)) bytes = LoadBytes(file_name);
  });
}

void SaveResourceRetry(const std::string& bytes, const std::string& file_name,
                       std::string& actual_name, const RetryPolicy& retry) {
  Retrying(retry, [&](int attempt) {
    std::string name = attempt == 1 ? file_name
                                    : ExtractFilePath(file_name) + "[" +
                                          std::to_string(attempt - 1) + "]" +
                                          ExtractFileName(file_name);
    SaveBytes(bytes, name);
    actual_name = name;
  });
}

std::unique_ptr<FileStream> OpenFileRetry(const std::string& file_name, FileStream::Mode mode,
                                          const RetryPolicy& retry) {
  return Retrying(retry, [&](int) {
    if (mode == FileStream::Mode::Create) EnsureFileFolder(file_name);
    return std::make_unique<FileStream>(file_name, mode);
  });
}

bool CopyFileRetry(const std::string& source, const std::string& target, const RetryPolicy& open,
                   const RetryPolicy& copy) {
  ForceFolders(ExtractFileDir(target));
  auto in = OpenFileRetry(source, FileStream::Mode::Read, open);
  return CopyFrom(*in, target, copy);
}

bool CopyFileSafe(const std::string& source, const std::string& target, const RetryPolicy& copy) {
  ForceFolders(ExtractFileDir(target));
  FileStream in(source, FileStream::Mode::Read);
  return CopyFrom(in, target, copy);
}

}  // namespace mrw
