#include "archive/backup_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <thread>

#include "archive/backup_errors.h"
#include "archive/chunk_pipeline.h"
#include "archive/collector.h"
#include "archive/dos_time.h"
#include "archive/file_list.h"
#include "archive/format.h"
#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/folders.h"
#include "foundation/paths.h"
#include "foundation/ui_hooks.h"

namespace mrw::archive {

int ZlibLevelOf(TCompressionLevel level) {
  switch (level) {
    case TCompressionLevel::clFastest: return 1;
    case TCompressionLevel::clNone: return 0;
    case TCompressionLevel::clDefault: return -1;
    case TCompressionLevel::clMax: return 9;
  }
  return 1;
}

void TBackupFile::BackupMode(TBackupMode mode) {
  if (mode == backup_mode_) return;
  backup_mode_ = mode;
  if (mode == TBackupMode::bmIncremental) set_archive_flag_ = true;
}

void TBackupFile::ShowError(int code) {
  std::string text = BackupErrorText(code);
  if (OnError) {
    OnError(*this, code, text);
  } else {
    ReportErrorByDefault(code, text);
  }
}

namespace {

// Opens a file for reading; nullopt when it cannot be opened or is no regular file (a
// FIFO or device put in a file's place must not block or feed the writer).
class InputFile {
 public:
  explicit InputFile(const std::string& path) {
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) return;
    struct stat st;
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd_);
      fd_ = -1;
      return;
    }
    size_ = st.st_size;
  }
  ~InputFile() {
    if (fd_ >= 0) close(fd_);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  std::int64_t size() const { return size_; }

 private:
  int fd_ = -1;
  std::int64_t size_ = 0;
};

unsigned AutomaticThreads() {
  unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(cores, 1u, 4u);
}

// Bytes read in percent of the total, rounded to the nearest integer with halves to
// even. A total of 0 (or files that grew since summing) cannot go beyond 100.
std::uint8_t Percent(std::int64_t done, std::int64_t total) {
  if (total <= 0 || done >= total) return 100;
  std::int64_t scaled = done * 100;
  std::int64_t q = scaled / total;
  std::int64_t r = scaled % total;
  if (2 * r > total || (2 * r == total && q % 2 == 1)) ++q;
  return static_cast<std::uint8_t>(std::min<std::int64_t>(q, 100));
}

std::string Int32Bytes(std::int32_t value) {
  std::string out;
  PutInt32(out, value);
  return out;
}

}  // namespace

// One run of the writer: the state the run keeps from collecting to the final event.
class TBackupFile::Run {
 public:
  Run(TBackupFile& owner, std::string archive_name, ByteSink* stream)
      : owner_(owner), archive_name_(std::move(archive_name)), stream_(stream) {}

  ~Run() {
    if (!temp_file_.empty()) unlink(temp_file_.c_str());
  }

  bool Execute(const std::vector<std::string>& files) {
    Collect(files);
    cont_ = true;
    RaiseProgress("", 0);
    Sum();
    if (owner_.save_file_id_ && error_ == kNoError) SaveFileList();
    WriteHeader();
    PackEntries();
    if (cont_) WriteEndMark();
    CloseTarget();
    if (!temp_file_.empty()) {
      unlink(temp_file_.c_str());
      temp_file_.clear();
    }
    RaiseProgress("", 100);
    if (error_ != kNoError) owner_.ShowError(error_);
    return ended_;
  }

 private:
  struct Entry {
    std::string path;        // what is read
    std::string entry_name;  // what the archive calls it
  };

  void Fail(int code) {
    error_ = code;
    cont_ = false;
  }

  void RaiseProgress(const std::string& name, std::uint8_t percent) {
    if (owner_.OnProgress) owner_.OnProgress(owner_, name, percent, cont_);
  }

  void Collect(const std::vector<std::string>& files) {
    std::string skip;
    if (!stream_) {
      try {
        skip = EntryNameOf(FullPath(archive_name_));
      } catch (const Error&) {
        // An archive name the archive could not carry cannot equal any collected name.
      }
    }
    FileCollector collector(skip);
    for (const auto& spec : files) collector.Add(spec);
    for (const auto& file : collector.files()) entries_.push_back({file.path, file.entry_name});
  }

  void Sum() {
    total_ = 0;
    for (const Entry& entry : entries_) {
      if (!FileExistsEx(entry.path)) continue;
      InputFile file(entry.path);
      if (!file.ok()) throw Error("Datei " + entry.path + " kann nicht gelesen werden");
      if (file.size() > kMaxInt32 || total_ + file.size() > kMaxInt32) {
        Fail(kFileTooLarge);
        return;
      }
      total_ += file.size();
      if (owner_.save_file_id_) {
        file_list_ += FileListLineText(entry.entry_name, DosDateTimeOfDescriptor(file.fd()), file.size());
      }
    }
  }

  void SaveFileList() {
    std::string tmpl = GetSystemTempPath() + "FIDXXXXXX";
    int fd = mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
      Fail(kCannotCreateTempFile);
      return;
    }
    temp_file_ = tmpl;
    const char* data = file_list_.data();
    std::size_t left = file_list_.size();
    bool ok = true;
    while (left > 0 && ok) {
      ssize_t n = write(fd, data, left);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) {
        data += n;
        left -= static_cast<std::size_t>(n);
      }
    }
    if (close(fd) != 0) ok = false;
    if (!ok) {
      Fail(kCannotCreateTempFile);
      return;
    }
    if (total_ + static_cast<std::int64_t>(file_list_.size()) > kMaxInt32) {
      Fail(kFileTooLarge);
      return;
    }
    total_ += static_cast<std::int64_t>(file_list_.size());
    entries_.insert(entries_.begin(), Entry{temp_file_, std::string(kFileListName)});
    has_list_entry_ = true;
  }

  void WriteHeader() {
    volume_ = 1;
    try {
      if (stream_) {
        target_ = stream_;
      } else {
        own_file_ = std::make_unique<FileSink>(archive_name_);
        target_ = own_file_.get();
      }
      std::string title = Utf8ToAnsi(owner_.backup_title_);
      std::int64_t count = static_cast<std::int64_t>(entries_.size()) - (has_list_entry_ ? 1 : 0);
      std::string header;
      PutInt32(header, static_cast<std::int32_t>(title.size()));
      header += title;
      PutInt32(header, static_cast<std::int32_t>(total_));
      PutInt32(header, static_cast<std::int32_t>(std::min<std::int64_t>(count, kMaxInt32)));
      target_->Write(header);
    } catch (const std::exception&) {
      Fail(kCannotWriteArchive);
    }
    bytes_read_ = 0;
  }

  void PackEntries() {
    if (!cont_ || !target_) return;
    unsigned threads = owner_.compression_threads_ == 0 ? AutomaticThreads()
                                                        : owner_.compression_threads_;
    ChunkPipeline pipeline(ZlibLevelOf(owner_.compression_level_), threads);
    for (std::size_t i = 0; i < entries_.size() && cont_; ++i) PackEntry(entries_[i], pipeline);
  }

  void PackEntry(const Entry& entry, ChunkPipeline& pipeline) {
    if (!FileExistsEx(entry.path)) return;
    try {
      std::string record = Int32Bytes(static_cast<std::int32_t>(entry.entry_name.size()));
      record += entry.entry_name;
      target_->Write(record);
    } catch (const std::exception&) {
      Fail(kCannotWriteArchive);
      return;
    }
    current_name_ = entry.path;
    InputFile file(entry.path);
    if (!file.ok()) {
      Fail(kCannotReadFile);
      return;
    }
    try {
      target_->Write(Int32Bytes(DosDateTimeOfDescriptor(file.fd())));
    } catch (const std::exception&) {
      Fail(kCannotReadFile);
      return;
    }
    if (file.size() > kMaxInt32) {
      Fail(kFileTooLarge);
      return;
    }
    std::int64_t remaining = file.size();
    pipeline.Start(file.fd(), remaining);
    // An empty file still gets its (empty) data segment.
    do {
      WriteSegment(pipeline, remaining);
    } while (remaining > 0 && cont_);
    pipeline.Stop();
  }

  bool VolumeHasRoom() const {
    return owner_.max_size_ == 0 || target_->Position() < owner_.max_size_ - kVolumeReserve;
  }

  void WriteSegment(ChunkPipeline& pipeline, std::int64_t& remaining) {
    try {
      target_->Write(kSegmentMarkView);
      while (remaining > 0 && cont_ && VolumeHasRoom()) {
        ChunkPipeline::Result next = pipeline.Next();
        if (next.read_failed) {
          Fail(kCannotReadFile);
          break;
        }
        if (!next.chunk) {
          // The file ended before the size it had when opened: its entry ends here.
          remaining = 0;
          break;
        }
        const Chunk& chunk = *next.chunk;
        if (chunk.outcome == Chunk::Outcome::kFailed) {
          Fail(kCompressionError);
          break;
        }
        remaining -= static_cast<std::int64_t>(chunk.input_size);
        bytes_read_ += static_cast<std::int64_t>(chunk.input_size);
        std::string_view bytes;
        std::int32_t length;
        if (chunk.outcome == Chunk::Outcome::kCompressed) {
          length = static_cast<std::int32_t>(chunk.output_size);
          bytes = {reinterpret_cast<const char*>(chunk.output.data()), chunk.output_size};
        } else {
          length = -static_cast<std::int32_t>(chunk.input_size);
          bytes = {reinterpret_cast<const char*>(chunk.input.data()), chunk.input_size};
        }
        target_->Write(Int32Bytes(length));
        target_->Write(bytes);
        ProcessPendingEvents();
        RaiseProgress(current_name_, Percent(bytes_read_, total_));
      }
      target_->Write(Int32Bytes(0));
      if (remaining > 0 && cont_) SwitchVolume();
    } catch (const std::exception&) {
      Fail(kCannotWriteArchive);
    }
  }

  void SwitchVolume() {
    // A fresh volume starts with a segment mark; if not even one chunk fits behind it,
    // every further volume would stay empty as well. Volumes past 999 would reuse the
    // names of earlier ones and overwrite them.
    if (!own_file_ || owner_.max_size_ <= kVolumeReserve + 4 || volume_ >= 999) {
      Fail(kCannotWriteArchive);
      return;
    }
    ++volume_;
    std::string digits = VolumeDigits(volume_);
    std::string record = Int32Bytes(static_cast<std::int32_t>(kNextDiskPrefix.size() + 3));
    record += kNextDiskPrefix;
    record += digits;
    target_->Write(record);
    own_file_->Close();
    target_ = nullptr;
    if (owner_.OnNeedDisk) {
      owner_.OnNeedDisk(owner_, volume_, cont_);
    } else {
      cont_ = RequestDiskByDefault(volume_);
    }
    if (!cont_) return;
    own_file_ = std::make_unique<FileSink>(ChangeFileExt(archive_name_, "." + digits));
    target_ = own_file_.get();
  }

  void WriteEndMark() {
    try {
      target_->Write(Int32Bytes(0));
      // A write that fails late (a full disk shows when the buffer goes out) must not
      // count as a finished archive.
      target_->Flush();
      if (own_file_) own_file_->Close();
      ended_ = true;
    } catch (const std::exception&) {
      Fail(kCannotWriteArchive);
    }
  }

  void CloseTarget() {
    try {
      if (own_file_) own_file_->Close();
      if (stream_) stream_->Flush();
    } catch (const std::exception&) {
    }
    own_file_.reset();
    target_ = nullptr;
  }

  TBackupFile& owner_;
  std::string archive_name_;
  ByteSink* stream_;

  std::vector<Entry> entries_;
  std::string file_list_;
  std::string temp_file_;
  bool has_list_entry_ = false;

  int error_ = kNoError;
  bool cont_ = true;
  bool ended_ = false;
  std::int64_t total_ = 0;
  std::int64_t bytes_read_ = 0;
  std::string current_name_;
  std::uint16_t volume_ = 1;
  ByteSink* target_ = nullptr;
  std::unique_ptr<FileSink> own_file_;
};

bool TBackupFile::Backup(const std::vector<std::string>& files, const std::string& archive_name) {
  Run run(*this, archive_name, nullptr);
  return run.Execute(files);
}

bool TBackupFile::BackupToStream(const std::vector<std::string>& files, ByteSink* stream) {
  if (!stream) return false;
  max_size_ = 0;
  try {
    Run run(*this, kStreamArchiveName, stream);
    return run.Execute(files);
  } catch (...) {
    return false;
  }
}

}  // namespace mrw::archive
