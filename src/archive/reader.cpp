#include "archive/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_set>

#include "archive/dos_time.h"
#include "archive/file_list.h"
#include "archive/format.h"
#include "foundation/codepage.h"
#include "foundation/paths.h"

namespace mrw::archive {

ArchiveFault::ArchiveFault(std::string file, std::int64_t offset, const std::string& what)
    : Error(file + ": offset " + std::to_string(offset) + ": " + what),
      file_(std::move(file)),
      offset_(offset),
      description_(what) {}

namespace {

constexpr std::int32_t kMaxNameLength = 32767;

// One volume file, read sequentially through a buffer, with the offset of every byte.
class VolumeFile {
 public:
  explicit VolumeFile(std::string path) : path_(std::move(path)) {
    fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    struct stat st;
    if (fd_ < 0 || fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      if (fd_ >= 0) close(fd_);
      fd_ = -1;
      throw Error("Datei " + path_ + " kann nicht gelesen werden");
    }
    size_ = st.st_size;
  }
  ~VolumeFile() {
    if (fd_ >= 0) close(fd_);
  }
  VolumeFile(const VolumeFile&) = delete;
  VolumeFile& operator=(const VolumeFile&) = delete;

  const std::string& path() const { return path_; }
  std::int64_t size() const { return size_; }
  std::int64_t pos() const { return pos_; }
  std::int64_t left() const { return size_ - pos_; }
  void Seek(std::int64_t pos) { pos_ = pos; }

  [[noreturn]] void Fault(std::int64_t offset, const std::string& what) const {
    throw ArchiveFault(path_, offset, what);
  }

  // Reads n bytes or faults with "what" (the field that is cut off).
  void Read(void* out, std::size_t n, const char* what) {
    if (static_cast<std::int64_t>(n) > left()) Fault(pos_, std::string("file ends inside ") + what);
    auto* dst = static_cast<char*>(out);
    while (n > 0) {
      if (pos_ < buffer_start_ || pos_ >= buffer_start_ + static_cast<std::int64_t>(buffer_len_)) Refill();
      std::size_t offset = static_cast<std::size_t>(pos_ - buffer_start_);
      std::size_t take = std::min(n, buffer_len_ - offset);
      std::memcpy(dst, buffer_.data() + offset, take);
      dst += take;
      n -= take;
      pos_ += static_cast<std::int64_t>(take);
    }
  }
  std::int32_t ReadInt32(const char* what) {
    unsigned char b[4];
    Read(b, 4, what);
    return GetInt32(b);
  }
  std::string ReadString(std::size_t n, const char* what) {
    std::string s(n, '\0');
    Read(s.data(), n, what);
    return s;
  }

 private:
  void Refill() {
    buffer_.resize(1 << 20);
    buffer_start_ = pos_;
    buffer_len_ = 0;
    while (buffer_len_ == 0) {
      ssize_t n = pread(fd_, buffer_.data(), buffer_.size(), pos_);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw Error("Datei " + path_ + " kann nicht gelesen werden");
      buffer_len_ = static_cast<std::size_t>(n);
    }
  }

  std::string path_;
  int fd_ = -1;
  std::int64_t size_ = 0;
  std::int64_t pos_ = 0;
  std::vector<char> buffer_;
  std::int64_t buffer_start_ = 0;
  std::size_t buffer_len_ = 0;
};

// Checks one compressed chunk and inflates it.
class ChunkInflater {
 public:
  ChunkInflater() {
    if (inflateInit2(&stream_, 15) != Z_OK) throw Error("zlib kann nicht gestartet werden");
  }
  ~ChunkInflater() { inflateEnd(&stream_); }
  ChunkInflater(const ChunkInflater&) = delete;
  ChunkInflater& operator=(const ChunkInflater&) = delete;

  // Inflates `data` into `out` (size set); returns a fault text or nullptr.
  const char* Inflate(const std::string& data, std::array<unsigned char, kChunkSize + 1>& out,
                      std::size_t& out_size) {
    out_size = 0;
    auto b0 = static_cast<unsigned char>(data[0]);
    auto b1 = data.size() > 1 ? static_cast<unsigned char>(data[1]) : 0;
    if (data.size() < 2 || b0 != 0x78 || (b0 * 256 + b1) % 31 != 0)
      return "compressed chunk without a zlib header for deflate with a 32 KiB window";
    if (b1 & 0x20) return "compressed chunk asks for a preset dictionary";
    inflateReset(&stream_);
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream_.avail_in = static_cast<uInt>(data.size());
    stream_.next_out = out.data();
    stream_.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&stream_, Z_FINISH);
    out_size = out.size() - stream_.avail_out;
    if (rc == Z_STREAM_END) {
      if (stream_.avail_in != 0) return "zlib stream ends before the chunk's end";
      if (out_size > kChunkSize) return "compressed chunk holds more than 16384 bytes";
      if (out_size == 0) return "compressed chunk holds no bytes";
      return nullptr;
    }
    if (out_size > kChunkSize) return "compressed chunk holds more than 16384 bytes";
    if (rc == Z_DATA_ERROR) {
      return stream_.msg && std::string_view(stream_.msg) == "incorrect data check"
                 ? "Adler-32 of the compressed chunk does not match"
                 : "compressed chunk is not valid deflate data";
    }
    return "zlib stream does not end at the chunk's end";
  }

 private:
  z_stream stream_{};
};

// The reason a file entry's name is not a full Windows path as the writer makes them,
// with the index of the offending byte.
std::optional<std::pair<std::size_t, const char*>> CheckEntryName(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20) return std::pair{i, "control character in an entry name"};
    if (c >= 'A' && c <= 'Z') return std::pair{i, "upper-case letter A-Z in an entry name"};
    if (c == '/' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
      return std::pair{i, "character not allowed in a file name"};
  }
  std::size_t start;
  if (name.size() >= 3 && name[0] >= 'a' && name[0] <= 'z' && name[1] == ':' && name[2] == '\\') {
    start = 3;
  } else if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') {
    start = 2;
  } else if (!name.empty() && name[0] == '\\') {
    start = 1;
  } else {
    return std::pair{std::size_t{0}, "entry name is not a full path"};
  }
  while (true) {
    std::size_t end = name.find('\\', start);
    std::string_view part = name.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty()) return std::pair{start, "empty part in an entry name"};
    if (part == "." || part == "..") return std::pair{start, "\".\" or \"..\" in an entry name"};
    if (part.find(':') != std::string_view::npos)
      return std::pair{start + part.find(':'), "character not allowed in a file name"};
    if (end == std::string_view::npos) return std::nullopt;
    start = end + 1;
  }
}

class Reader {
 public:
  Reader(std::string path, const ReadOptions& options, EntryConsumer* consumer)
      : first_path_(std::move(path)), options_(options), consumer_(consumer) {}

  ArchiveInfo Read() {
    file_ = std::make_unique<VolumeFile>(first_path_);
    if (file_->size() < 4) file_->Fault(0, "file too short for an archive");
    file_->Seek(file_->size() - 4);
    std::int32_t last = file_->ReadInt32("trailer");
    // An archive without trailer ends with its end mark (0); a first volume ends with a
    // switch record, whose last bytes are no offset: both mean the archive starts at 0.
    info_.archive_offset = last >= 0 && last <= file_->size() - 4 && !EndsWithSwitch() ? last : 0;
    file_->Seek(info_.archive_offset);

    ReadHeader();
    if (consumer_) consumer_->Header(info_);
    ReadEntries();
    CheckEnd();
    CheckFileList();
    return std::move(info_);
  }

 private:
  bool EndsWithSwitch() {
    if (file_->size() < 16) return false;
    file_->Seek(file_->size() - 16);
    std::int32_t length = file_->ReadInt32("name length");
    return length == 12 && file_->ReadString(12, "volume switch record").starts_with(kNextDiskPrefix);
  }

  void ReadHeader() {
    std::int64_t at = file_->pos();
    std::int32_t title_length = file_->ReadInt32("title length");
    if (title_length < 0 || title_length > file_->left())
      file_->Fault(at, "title length " + std::to_string(title_length) + " out of range");
    info_.title = file_->ReadString(static_cast<std::size_t>(title_length), "title");
    title_offset_ = at;
    at = file_->pos();
    info_.total_size = file_->ReadInt32("total size");
    if (info_.total_size < 0) file_->Fault(at, "negative total size");
    total_offset_ = at;
    at = file_->pos();
    info_.file_count = file_->ReadInt32("file count");
    if (info_.file_count < 0) file_->Fault(at, "negative file count");
    count_offset_ = at;
  }

  void ReadEntries() {
    std::unordered_set<std::string> names;
    for (;;) {
      std::int64_t at = file_->pos();
      std::int32_t length = file_->ReadInt32("name length");
      if (length == 0) return;
      if (length < 0 || length > kMaxNameLength)
        file_->Fault(at, "name length " + std::to_string(length) + " out of range");
      EntryInfo entry;
      entry.volume = volume_;
      entry.offset = at;
      entry.name = file_->ReadString(static_cast<std::size_t>(length), "entry name");
      if (entry.name.starts_with(kNextDiskPrefix))
        file_->Fault(at, "volume switch record outside an entry's data");
      if (entry.name == kFileListName) {
        if (!info_.entries.empty()) file_->Fault(at, "file list is not the first entry");
        entry.is_file_list = true;
      } else {
        if (auto bad = CheckEntryName(entry.name)) file_->Fault(at + 4 + static_cast<std::int64_t>(bad->first), bad->second);
        if (!names.insert(AnsiUpperCase(entry.name)).second)
          file_->Fault(at, "entry name occurs twice (letter case ignored)");
      }
      std::int64_t date_at = file_->pos();
      entry.date = file_->ReadInt32("date");
      if (!IsValidDosDateTime(entry.date)) file_->Fault(date_at, "invalid DOS date and time");
      if (consumer_) consumer_->BeginEntry(entry);
      ReadEntryData(entry);
      if (consumer_) consumer_->EndEntry(entry);
      info_.entries.push_back(std::move(entry));
    }
  }

  void ReadEntryData(EntryInfo& entry) {
    bool short_chunk_seen = false;
    bool awaiting_data = false;  // a volume switch promised more data
    for (;;) {
      std::int64_t at = file_->pos();
      char mark[4];
      file_->Read(mark, 4, "segment mark");
      if (std::string_view(mark, 4) != kSegmentMarkView) file_->Fault(at, "segment mark EC2 expected");
      for (;;) {
        at = file_->pos();
        std::int32_t n = file_->ReadInt32("chunk length");
        if (n == 0) break;
        if (n < -static_cast<std::int32_t>(kChunkSize) || n > static_cast<std::int32_t>(kChunkSize))
          file_->Fault(at, "chunk length " + std::to_string(n) + " out of range");
        if (short_chunk_seen)
          file_->Fault(at, "chunk after a chunk of less than 16384 bytes");
        std::size_t stored_size = static_cast<std::size_t>(n < 0 ? -n : n);
        std::string data = file_->ReadString(stored_size, "chunk data");
        std::string_view bytes;
        if (n > 0) {
          std::size_t out_size = 0;
          if (const char* fault = inflater_.Inflate(data, out_, out_size)) file_->Fault(at, fault);
          bytes = {reinterpret_cast<const char*>(out_.data()), out_size};
          ++entry.compressed_chunks;
        } else {
          bytes = data;
          ++entry.stored_chunks;
        }
        if (bytes.size() < kChunkSize) short_chunk_seen = true;
        entry.size += static_cast<std::int64_t>(bytes.size());
        awaiting_data = false;
        if (entry.is_file_list) info_.file_list.append(bytes);
        if (consumer_) consumer_->Data(bytes);
      }
      if (!FollowSwitch(short_chunk_seen)) break;
      awaiting_data = true;
    }
    if (awaiting_data)
      file_->Fault(file_->pos(), "volume switch without further data of the entry");
  }

  // After a segment end: a volume switch record continues the entry in the next volume
  // (true); anything else belongs to the next entry and is left to be read (false).
  bool FollowSwitch(bool short_chunk_seen) {
    std::int64_t at = file_->pos();
    if (file_->left() < 4 + 12) return false;
    std::int32_t length = file_->ReadInt32("name length");
    if (length != static_cast<std::int32_t>(kNextDiskPrefix.size() + 3)) {
      file_->Seek(at);
      return false;
    }
    std::string name = file_->ReadString(12, "volume switch record");
    if (!name.starts_with(kNextDiskPrefix)) {
      file_->Seek(at);
      return false;
    }
    std::string digits = VolumeDigits(volume_ + 1);
    if (name.substr(kNextDiskPrefix.size()) != digits)
      file_->Fault(at, "volume switch names " + name + ", expected NEXT:DISK" + digits);
    if (short_chunk_seen) file_->Fault(at, "volume switch after the entry's last chunk");
    if (file_->left() != 0) file_->Fault(file_->pos(), "bytes after a volume switch record");
    if (!options_.follow_volumes) file_->Fault(at, "archive continues in another volume");
    if (volume_ >= 999) file_->Fault(at, "more than 999 volumes");
    std::string next = ChangeFileExt(first_path_, "." + digits);
    try {
      file_ = std::make_unique<VolumeFile>(next);
    } catch (const ArchiveFault&) {
      throw;
    } catch (const Error&) {
      file_->Fault(at, "next volume " + next + " cannot be read");
    }
    ++volume_;
    info_.volumes = volume_;
    return true;
  }

  void CheckEnd() {
    std::int64_t at = file_->pos();
    std::int64_t rest = file_->left();
    if (rest == 0) {
      if (info_.archive_offset != 0) file_->Fault(at, "archive at an offset but without trailer");
      info_.has_trailer = false;
    } else if (rest == 4 && volume_ == 1) {
      std::int32_t trailer = file_->ReadInt32("trailer");
      if (trailer != info_.archive_offset)
        file_->Fault(at, "trailer " + std::to_string(trailer) + " does not name the archive's offset " +
                             std::to_string(info_.archive_offset));
      info_.has_trailer = true;
    } else {
      file_->Fault(at, std::to_string(rest) + " bytes after the end mark");
    }
    bool package = info_.has_trailer || options_.require_package;
    if (!package) return;
    if (!info_.has_trailer) file_->Fault(at, "transfer package without trailer");
    if (info_.title != kPackageTitle) Fault1(title_offset_, "title is not the transfer package title");
    if (info_.entries.empty() || !info_.entries.front().is_file_list)
      Fault1(title_offset_ + 12 + static_cast<std::int64_t>(info_.title.size()),
             "transfer package does not begin with the file list");
  }

  // A fault in the first volume (the header lies there).
  [[noreturn]] void Fault1(std::int64_t offset, const std::string& what) const {
    throw ArchiveFault(first_path_, offset, what);
  }
  [[noreturn]] void EntryFault(const EntryInfo& entry, const std::string& what) const {
    std::string path = entry.volume == 1 ? first_path_ : ChangeFileExt(first_path_, "." + VolumeDigits(entry.volume));
    throw ArchiveFault(path, entry.offset, what);
  }

  void CheckFileList() {
    std::int64_t files = 0;
    std::int64_t data_sizes = 0;
    for (const auto& entry : info_.entries) {
      if (entry.is_file_list) continue;
      ++files;
      data_sizes += entry.size;
    }
    if (files > info_.file_count) Fault1(count_offset_, "file count below the number of entries");
    if (info_.entries.empty() || !info_.entries.front().is_file_list) {
      if (data_sizes > info_.total_size) Fault1(total_offset_, "entries hold more than the total size");
      return;
    }
    const EntryInfo& list_entry = info_.entries.front();
    FileListParse list = ParseFileList(info_.file_list);
    if (list.fault_offset) {
      EntryFault(list_entry, list.fault + " (at byte " + std::to_string(*list.fault_offset) +
                                 " of the file list)");
    }
    std::unordered_set<std::string> names;
    std::int64_t sum = static_cast<std::int64_t>(info_.file_list.size());
    for (std::size_t i = 0; i < list.lines.size(); ++i) {
      const FileListLine& line = list.lines[i];
      std::string where = " (file list line " + std::to_string(i + 1) + ")";
      if (auto bad = CheckEntryName(line.name)) EntryFault(list_entry, bad->second + where);
      if (!IsValidDosDateTime(line.date)) EntryFault(list_entry, "invalid DOS date and time" + where);
      if (!names.insert(AnsiUpperCase(line.name)).second)
        EntryFault(list_entry, "name occurs twice in the file list" + where);
      sum += line.size;
    }
    if (static_cast<std::int64_t>(list.lines.size()) > info_.file_count)
      Fault1(count_offset_, "file count below the number of file list lines");
    if (sum != info_.total_size)
      Fault1(total_offset_, "total size " + std::to_string(info_.total_size) +
                                " differs from the file list's length plus its sizes (" +
                                std::to_string(sum) + ")");
    std::size_t next_line = 0;
    for (const auto& entry : info_.entries) {
      if (entry.is_file_list) continue;
      std::size_t k = next_line;
      while (k < list.lines.size() && list.lines[k].name != entry.name) ++k;
      if (k == list.lines.size()) EntryFault(entry, "entry has no line of its own in the file list");
      const FileListLine& line = list.lines[k];
      if (line.date != entry.date) EntryFault(entry, "date differs from the file list");
      if (line.size != entry.size)
        EntryFault(entry, "size " + std::to_string(entry.size) + " differs from the file list's " +
                              std::to_string(line.size));
      next_line = k + 1;
    }
  }

  std::string first_path_;
  ReadOptions options_;
  EntryConsumer* consumer_;
  std::unique_ptr<VolumeFile> file_;
  unsigned volume_ = 1;
  ArchiveInfo info_;
  std::int64_t title_offset_ = 0;
  std::int64_t total_offset_ = 0;
  std::int64_t count_offset_ = 0;
  ChunkInflater inflater_;
  std::array<unsigned char, kChunkSize + 1> out_{};
};

class ContentCollector : public EntryConsumer {
 public:
  void BeginEntry(const EntryInfo& info) override { entries.push_back({info, {}}); }
  void Data(std::string_view bytes) override { entries.back().data.append(bytes); }
  void EndEntry(const EntryInfo& info) override { entries.back().info = info; }
  std::vector<EntryContent> entries;
};

}  // namespace

ArchiveInfo ReadArchive(const std::string& path, const ReadOptions& options, EntryConsumer* consumer) {
  Reader reader(path, options, consumer);
  return reader.Read();
}

std::vector<EntryContent> ReadArchiveContents(const std::string& path, const ReadOptions& options) {
  ContentCollector collector;
  ReadArchive(path, options, &collector);
  return std::move(collector.entries);
}

}  // namespace mrw::archive
