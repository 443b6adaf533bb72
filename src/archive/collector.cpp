#include "archive/collector.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/folders.h"
#include "foundation/ini_items.h"
#include "foundation/paths.h"

namespace mrw::archive {

namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Leading and trailing blanks and control characters go, as in every trimmed text here.
std::string Trim(std::string_view text) { return std::string(IniTrim(text)); }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Where the recursion switch starts: a blank, "/s" (either case), then the end or a blank.
// Paths contain "/" themselves, so a bare "/s" (as in "/srv") is no switch here.
size_t FindRecursionSwitch(const std::string& spec) {
  for (size_t i = 1; i + 1 < spec.size(); ++i) {
    if (spec[i] != '/' || LowerAscii(spec[i + 1]) != 's' || !IsBlankOrControl(spec[i - 1])) continue;
    if (i + 2 == spec.size() || IsBlankOrControl(spec[i + 2])) return i;
  }
  return std::string::npos;
}

bool HasWildcard(const std::string& mask) { return mask.find_first_of("*?") != std::string::npos; }

struct Listed {
  std::string name;
  bool is_folder;
  bool is_file;
  bool hidden;
};

// The folder's entries (links followed), sorted by name without regard to case.
std::vector<Listed> ListFolder(const std::string& folder) {
  std::vector<Listed> out;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return out;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (stat((folder + name).c_str(), &st) != 0) continue;
    out.push_back({name, S_ISDIR(st.st_mode), S_ISREG(st.st_mode), name.front() == '.'});
  }
  closedir(dir);
  std::vector<std::pair<std::string, size_t>> keys;
  for (size_t i = 0; i < out.size(); ++i) keys.emplace_back(Utf8AnsiUpper(out[i].name), i);
  std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : out[a.second].name < out[b.second].name;
  });
  std::vector<Listed> sorted;
  sorted.reserve(out.size());
  for (const auto& key : keys) sorted.push_back(std::move(out[key.second]));
  return sorted;
}

}  // namespace

std::string EntryNameOf(const std::string& full_path) {
  auto refuse = [&] {
    throw Error("Der Name der Datei " + full_path + " kann im Archiv nicht dargestellt werden");
  };
  for (char c : full_path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '\\') refuse();
  }
  std::string ansi = Utf8ToAnsi(full_path);
  if (AnsiToUtf8(ansi) != full_path) refuse();
  for (char& c : ansi) c = c == '/' ? '\\' : LowerAscii(c);
  return ansi;
}

std::string FullPath(const std::string& path) {
  std::filesystem::path p(path);
  if (p.is_relative()) {
    std::error_code ec;
    auto cwd = std::filesystem::current_path(ec);
    if (!ec) p = cwd / p;
  }
  return p.lexically_normal().string();
}

FileCollector::FileCollector(std::string skip_entry_name)
    : skip_key_(skip_entry_name.empty() ? std::string() : AnsiUpperCase(skip_entry_name)) {}

void FileCollector::Add(const std::string& file_spec) {
  std::string spec = Trim(file_spec);
  size_t recursion = FindRecursionSwitch(spec);
  bool recursive = recursion != std::string::npos;
  if (recursive) spec = Trim(std::string_view(spec).substr(0, recursion));
  if (spec.empty()) return;
  std::string full = FullPath(spec);
  // A spec ending in "/" names a folder without a mask: it matches no file.
  std::string folder = ExtractFilePath(full);
  std::string mask = ExtractFileName(full);
  folder = ResolveNameCase(folder);
  if (recursive) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> inside;
    AddRecursive(folder, mask, inside);
  } else {
    AddMatches(folder, mask);
  }
}

void FileCollector::AddRecursive(const std::string& folder, const std::string& mask,
                                 std::vector<std::pair<std::uint64_t, std::uint64_t>>& inside) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  std::pair<std::uint64_t, std::uint64_t> id{st.st_dev, st.st_ino};
  if (std::find(inside.begin(), inside.end(), id) != inside.end()) return;
  inside.push_back(id);
  for (const Listed& entry : ListFolder(folder)) {
    if (entry.is_folder && !entry.hidden) AddRecursive(folder + entry.name + "/", mask, inside);
  }
  inside.pop_back();
  AddMatches(folder, mask);
}

void FileCollector::AddMatches(const std::string& folder, const std::string& mask) {
  if (mask.empty()) return;
  if (!HasWildcard(mask)) {
    std::string path = ResolveNameCase(folder + mask);
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) Consider(path);
    return;
  }
  for (const Listed& entry : ListFolder(folder)) {
    if (entry.is_file && MatchesFileMask(entry.name, mask)) Consider(folder + entry.name);
  }
}

void FileCollector::Consider(const std::string& path) {
  std::string entry_name = EntryNameOf(path);
  std::string key = AnsiUpperCase(entry_name);
  if (key == skip_key_ || !seen_.insert(key).second) return;
  files_.push_back({path, std::move(entry_name)});
}

}  // namespace mrw::archive
