// The in-memory line list of TFastIniFile with its section table and key indexes. All
// texts here are the file's own Windows-1252 bytes.
//
// Every line of the file is one TIniItem in file order. Key lines are parsed only when a
// search reaches them, so lines nobody asked about are written back byte for byte.
// Sections are found through 256 hash chains (low byte of the name's hash); the last of
// several headers with one name wins. In indexed mode (chosen at load for files with more
// than 249 key lines per section) each section gets its own 256-chain key index on first
// use, which finds the last occurrence of a key that a section holds twice.
//
// Line positions: a section records the index of the first line after its header; key
// indexes hold positions relative to that line, so inserting or removing lines elsewhere
// only moves the sections' first lines.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mrw {

enum class IniLineKind : uint8_t {
  kKey = 0,       // parsed key line: text = key, value = value
  kNoEquals = 1,  // parsed line without "=": text without leading blanks
  kUnparsed = 2,  // not yet parsed: text as read
  kSection = 3,   // "[name]"
  kComment = 4,   // first character ";"
  kBlank = 5,     // empty line
};

struct TIniItem {
  IniLineKind kind = IniLineKind::kBlank;
  uint32_t hash = 0;  // of the key, for kKey
  std::string text;
  std::string value;
};

// How names (sections and keys) compare: through the ANSI upper-case table (the default),
// through ASCII upper case only, or byte for byte. Compare and hash go together.
enum class IniNameMode { kAnsiCaseInsensitive, kAsciiCaseInsensitive, kExact };

class IniNameRules {
 public:
  explicit IniNameRules(IniNameMode mode = IniNameMode::kAnsiCaseInsensitive);
  uint32_t Hash(std::string_view name) const;
  bool Equal(std::string_view a, std::string_view b) const;

 private:
  const unsigned char* map_;
};

struct TSectionItem {
  std::string name;  // between the brackets, exactly as written
  uint32_t hash = 0;
  size_t first = 0;  // index of the first line after the header
  // Indexed mode: per chain the key lines' positions relative to `first`, in file order.
  std::unique_ptr<std::array<std::vector<uint32_t>, 256>> keys;
};

struct TStatistics {
  size_t blank = 0, comment = 0, other = 0, section = 0;
};

class TIniItems {
 public:
  static constexpr size_t kNotFound = static_cast<size_t>(-1);

  TIniItems() = default;
  TIniItems(const TIniItems&) = delete;
  TIniItems& operator=(const TIniItems&) = delete;

  // Replaces everything by the lines of `text` (CR, LF or CR LF; the text ends at the
  // first zero byte).
  void Load(std::string_view text);
  void Clear();
  // Every line followed by CR LF.
  std::string Serialize() const;

  void SetNameMode(IniNameMode mode);
  bool indexed() const { return indexed_; }
  const TStatistics& statistics() const { return stats_; }

  const std::vector<TIniItem>& lines() const { return lines_; }
  TIniItem& line(size_t i) { return lines_[i]; }

  TSectionItem* FindSection(std::string_view name);
  // The section's line range [first, end): end is the next header or the end of the file.
  size_t SectionEnd(const TSectionItem& section) const;
  // Index of the key's line in the section, kNotFound when missing. `key` is bare (no
  // surrounding blanks).
  size_t FindKey(TSectionItem& section, std::string_view key);
  // Parses the line if it is still unparsed.
  void Parse(size_t index);

  // Appends "[name]" at the end of the file (after a blank line unless the file is empty
  // or ends with one) and registers it.
  TSectionItem& AddSection(std::string_view name);
  // Inserts a key line with an empty value after the section's last key line (or last
  // line without "="); returns its index.
  size_t AddKey(TSectionItem& section, std::string_view key);
  // Removes the header and lines of the section except the comment block (and the blank
  // lines after it) that leads into the next section.
  void EraseSection(TSectionItem& section);
  void DeleteLine(TSectionItem& section, size_t index);

  // The sections in file order (duplicates included).
  std::vector<const TSectionItem*> SectionsInFileOrder() const;

 private:
  void Register(std::string name, size_t first);
  void InsertLine(size_t pos, TIniItem item);
  void RemoveLines(size_t pos, size_t count);
  void BuildKeyIndex(TSectionItem& section);
  void GrowFor(size_t extra);

  std::vector<TIniItem> lines_;
  std::vector<std::unique_ptr<TSectionItem>> sections_;
  std::array<std::vector<TSectionItem*>, 256> chains_;
  TSectionItem* cache_ = nullptr;
  IniNameRules rules_;
  bool indexed_ = false;
  TStatistics stats_;
};

// Blanks in the sense of the INI format: bytes 1 to 32 (and 0).
std::string_view IniTrim(std::string_view s);
std::string_view IniTrimLeft(std::string_view s);
std::string_view IniTrimRight(std::string_view s);

}  // namespace mrw
