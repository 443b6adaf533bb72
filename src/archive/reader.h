// Reading and checking transfer archives and packages.
//
// The reader does what a receiving side does (trailer offset, header, entries until the
// end mark, volume switches, inflating every chunk) and checks everything the layout
// implies, stopping at the first fault with the byte offset where it lies:
// - trailer: the last four bytes give the archive's offset; after the end mark follow
//   either nothing (an archive written by Backup) or exactly the trailer;
// - header: title length, non-negative total size and file count; a file with a trailer
//   is a transfer package and must carry the package title and begin with the file list;
// - entries: name length 1..32767; "FILE:LIST" only first; file names are full Windows
//   paths (root "\", "x:\" or "\\", no empty, "." or ".." parts, no A-Z, no control or
//   reserved characters) and unique ignoring case; DOS dates valid or -1;
// - data: segment marks, chunk lengths 1..16384 in absolute value, every compressed chunk
//   one zlib stream (32 KiB window, no dictionary) that ends exactly at the chunk's end,
//   yields 1..16384 bytes and matches its Adler-32; only an entry's last chunk may carry
//   less than 16384 bytes; a volume switch announces more data of the entry, names the
//   next volume and ends its file;
// - file list: well-formed lines; each file entry matches the next of its lines by name,
//   date and size (lines of files that vanished before packing may be passed over); the
//   total size is the list's length plus its sizes; the file count covers lines and
//   entries. Without a file list the entries' sizes stay within the total.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/errors.h"

namespace mrw::archive {

class ArchiveFault : public Error {
 public:
  ArchiveFault(std::string file, std::int64_t offset, const std::string& what);
  const std::string& file() const { return file_; }
  std::int64_t offset() const { return offset_; }
  // The fault without the location.
  const std::string& description() const { return description_; }

 private:
  std::string file_;
  std::int64_t offset_;
  std::string description_;
};

struct EntryInfo {
  std::string name;  // as stored: Windows-1252 bytes
  std::int32_t date = -1;
  std::int64_t size = 0;  // uncompressed bytes
  int stored_chunks = 0;
  int compressed_chunks = 0;
  bool is_file_list = false;
  unsigned volume = 1;      // where its name record lies
  std::int64_t offset = 0;  // offset of its name record in that volume
};

struct ArchiveInfo {
  std::int64_t archive_offset = 0;
  bool has_trailer = false;
  unsigned volumes = 1;
  std::string title;  // Windows-1252 bytes
  std::int32_t total_size = 0;
  std::int32_t file_count = 0;
  std::vector<EntryInfo> entries;  // in archive order, the file list included
  std::string file_list;           // the file list's text when there is one
};

struct ReadOptions {
  // Demand a transfer package (trailer, package title, file list first).
  bool require_package = false;
  // Open further volumes beside the first one; off, a volume switch is a fault.
  bool follow_volumes = true;
};

// Receives what the reader finds, in order. Data() gets each chunk's bytes.
class EntryConsumer {
 public:
  virtual ~EntryConsumer() = default;
  virtual void Header(const ArchiveInfo&) {}
  virtual void BeginEntry(const EntryInfo&) {}
  virtual void Data(std::string_view) {}
  virtual void EndEntry(const EntryInfo&) {}
};

// Reads and checks the archive in `path` (a package, a Backup archive, or the first volume
// of one). Throws ArchiveFault at the first fault, mrw::Error when the file cannot be read.
ArchiveInfo ReadArchive(const std::string& path, const ReadOptions& options = {},
                        EntryConsumer* consumer = nullptr);

// Every entry with its content (for small archives and tests).
struct EntryContent {
  EntryInfo info;
  std::string data;
};
std::vector<EntryContent> ReadArchiveContents(const std::string& path,
                                              const ReadOptions& options = {});

}  // namespace mrw::archive
