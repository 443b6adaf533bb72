// Where an archive's bytes go: the caller's stream in BackupToStream, or a volume file the
// writer creates itself. Writes either succeed or throw mrw::Error; Position() is the
// number of bytes the sink holds from where the archive began.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mrw::archive {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(std::string_view bytes) = 0;
  virtual std::int64_t Position() const = 0;
  // Pushes buffered bytes on; throws when they cannot be written.
  virtual void Flush() {}
};

// An in-memory sink (tests and small archives).
class StringSink : public ByteSink {
 public:
  void Write(std::string_view bytes) override { data_.append(bytes); }
  std::int64_t Position() const override { return static_cast<std::int64_t>(data_.size()); }
  const std::string& data() const { return data_; }

 private:
  std::string data_;
};

// A file created (or truncated) for the writer alone: an exclusive lock keeps a second
// writer out. Buffered; Flush and Close report late write failures (a full disk shows
// only there). Destroying an unclosed sink closes it and ignores failures.
class FileSink : public ByteSink {
 public:
  // Throws FileCreateError("Datei %s kann nicht erstellt werden") when the file cannot be
  // created or another process holds its lock.
  explicit FileSink(const std::string& path);
  ~FileSink() override;
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  void Write(std::string_view bytes) override;
  std::int64_t Position() const override { return position_; }
  void Flush() override;
  // Flushes and closes; throws mrw::Error when the bytes cannot be written or the file
  // cannot be closed cleanly.
  void Close();
  const std::string& path() const { return path_; }

 private:
  void WriteThrough(const char* data, std::size_t size);

  std::string path_;
  int fd_ = -1;
  std::string buffer_;
  std::int64_t position_ = 0;
};

}  // namespace mrw::archive
