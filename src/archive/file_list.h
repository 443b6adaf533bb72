// The file list that travels as the archive's first entry ("FILE:LIST"): one line per file
// that existed when the sizes were summed, in packing order:
//   name TAB dos-date-time "=" size CR LF
// with the name exactly as in its entry (Windows-1252 bytes) and both numbers in decimal
// (the date may be -1).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mrw::archive {

struct FileListLine {
  std::string name;
  std::int32_t date = -1;
  std::int64_t size = 0;
};

std::string FileListLineText(std::string_view name, std::int32_t date, std::int64_t size);

struct FileListParse {
  std::vector<FileListLine> lines;
  // Set when the text is not a well-formed list: the byte offset in the text and why.
  std::optional<std::size_t> fault_offset;
  std::string fault;
};

// Parses strictly: every line ends with CR LF, names are non-empty and free of control
// characters, numbers are canonical decimals (no sign but the date's "-1", no leading
// zeros), sizes fit an Int32.
FileListParse ParseFileList(std::string_view text);

}  // namespace mrw::archive
