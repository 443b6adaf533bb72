// File streams and the retrying file operations.
//
// A FileStream is a file opened through a POSIX descriptor. Others may read and write the
// file meanwhile (a shared flock is held while the stream is open); only a process that
// holds the file exclusively (an exclusive flock) makes the open fail, as a file held by
// another program does.
//
// The retrying operations try again after any failure: an attempt that throws is
// followed by a wait and a new attempt, and the exception of the last attempt reaches the
// caller. The waits go through a RetryPolicy so callers (and tests) can shorten them; the
// defaults are 100 attempts 100 ms apart, and for copies 10 attempts with waits growing
// from 100 ms to 1000 ms.
//
// Text files are Windows-1252 with CRLF line ends; the string lists here are UTF-8.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/unique_fd.h"

namespace mrw {

class FileStream {
 public:
  enum class Mode {
    Read,          // an existing file, for reading
    ReadWrite,     // an existing file, for reading and writing
    OpenOrCreate,  // reading and writing; made when missing
    Create,        // reading and writing; made, or emptied when it exists
  };

  // Throws FileCreateError: "Datei %s kann nicht erstellt werden" for the modes that may
  // make the file, "Datei %s kann nicht geöffnet werden" for the others. Only regular
  // files can be opened.
  FileStream(const std::string& name, Mode mode);
  virtual ~FileStream();
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // Up to `count` bytes; fewer only at the end of the file. Throws mrw::Error on failure.
  size_t Read(void* buffer, size_t count);
  // All `count` bytes or mrw::Error.
  void Write(const void* buffer, size_t count);
  void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }
  // The rest of the file from the current position.
  std::string ReadAll();

  // whence: SEEK_SET, SEEK_CUR, SEEK_END. Returns the new position; mrw::Error on failure.
  std::int64_t Seek(std::int64_t offset, int whence);
  std::int64_t Position() const;
  std::int64_t Size() const;
  // Ends the file at `size` (the position is left where it was).
  void SetSize(std::int64_t size);

  const std::string& FileName() const { return name_; }
  int Handle() const { return fd_.get(); }

 protected:
  FileStream() = default;
  void Open(const std::string& name, Mode mode);

 private:
  std::string name_;
  UniqueFd fd_;
};

// The stream the system writes its files with. With `clear_attributes` a write-protected
// file is made writable for the owner while the stream is open and gets its old mode back
// afterwards. (The hidden attribute is the name; there is nothing to clear.)
// mode 0: open the file or make it; mode 1: make it or empty it.
class TBetterFileStream : public FileStream {
 public:
  TBetterFileStream(const std::string& name, bool clear_attributes, int mode);
  ~TBetterFileStream() override;

 private:
  void RestoreAttributes();
  unsigned saved_mode_ = 0;
  bool changed_ = false;
};

struct RetryPolicy {
  int attempts;
  std::chrono::milliseconds wait;
  // Empty: really sleep. Tests put a recorder here.
  std::function<void(std::chrono::milliseconds)> sleep = {};

  void Wait(std::chrono::milliseconds duration) const;
};

// 100 attempts, 100 ms apart.
RetryPolicy FileRetry();
// 10 attempts; after the n-th failure wait n × 100 ms.
RetryPolicy CopyRetry();

// EnsureFileFolder, then writes each line + CRLF (Windows-1252) into a TBetterFileStream
// that clears write protection and empties the file.
void SaveStringsRetry(const std::vector<std::string>& lines, const std::string& file_name,
                      const RetryPolicy& retry = FileRetry());
// When FileExistsEx finds the file, replaces `lines` by its lines (CR, LF or CRLF end a
// line; a last line end adds no empty line). A missing file leaves `lines` as they are.
void LoadStringsRetry(std::vector<std::string>& lines, const std::string& file_name,
                      const RetryPolicy& retry = FileRetry());

// As SaveStringsRetry for raw bytes. Returns true (failures throw).
bool SaveStreamRetry(const std::string& bytes, const std::string& file_name,
                     const RetryPolicy& retry = FileRetry());
// When FileExistsEx finds the file, replaces `bytes` by its content.
void LoadStreamRetry(std::string& bytes, const std::string& file_name,
                     const RetryPolicy& retry = FileRetry());

// Writes `bytes` to `file_name`; after the n-th failed attempt the next one uses the
// name's folder + "[n]" + its file part ("x.ani" -> "[1]x.ani" -> "[2]x.ani" ...).
// `actual_name` is the name written.
void SaveResourceRetry(const std::string& bytes, const std::string& file_name,
                       std::string& actual_name, const RetryPolicy& retry = FileRetry());

// Opens a FileStream (for Mode::Create, EnsureFileFolder first).
std::unique_ptr<FileStream> OpenFileRetry(const std::string& file_name, FileStream::Mode mode,
                                          const RetryPolicy& retry = FileRetry());

// Copy source -> target in blocks of 61440 bytes. The target's folder is made first
// (ForceFolders, so a target without folder part throws); then the source is opened:
// CopyFileRetry retries that as OpenFileRetry does, CopyFileSafe lets its failure pass at
// once. Writing the target is tried up to `copy.attempts` times; false when all failed.
// A target that is the source itself (same file) is left alone and counts as copied.
bool CopyFileRetry(const std::string& source, const std::string& target,
                   const RetryPolicy& open = FileRetry(), const RetryPolicy& copy = CopyRetry());
bool CopyFileSafe(const std::string& source, const std::string& target,
                  const RetryPolicy& copy = CopyRetry());

}  // namespace mrw
