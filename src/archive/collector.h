// Turns file specs into the list of files the writer packs.
//
// A spec is a file name or a mask ("*" and "?", letter case ignored) with an
// optional folder; relative ones are taken from the current folder. Followed by " /s"
// (a blank, then "/s" or "/S" at the end or before another blank) it is recursive: every
// subfolder that is not hidden is collected first, deepest first, then the folder's own
// matches. Folders and names resolve case-insensitively when the exact spelling is
// missing, since the names the system builds come from a case-insensitive world.
//
// Found are regular files (links followed), hidden ones included. Names are expanded to
// full paths without "." and ".." parts. A file whose archive name is already in the list
// (letter case ignored) or equals the archive's own name is skipped. Listings are sorted
// by name, ignoring case, so a package does not depend on the file system's order.
// Recursion never enters a folder it is already inside (links can make cycles).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace mrw::archive {

struct CollectedFile {
  std::string path;        // the real file: full path, UTF-8, "/" delimiters
  std::string entry_name;  // its archive name: Windows-1252, "\" delimiters, A-Z lowered
};

// The archive name of a full path. Throws mrw::Error when the path holds something the
// archive cannot carry faithfully: a control character (it would break the file list's
// lines), a backslash (the archive's delimiter), or a character without a Windows-1252
// byte.
std::string EntryNameOf(const std::string& full_path);

// The path made absolute against the current folder, with "." and ".." parts resolved
// textually (as the host system's full-path expansion does).
std::string FullPath(const std::string& path);

class FileCollector {
 public:
  // `skip_entry_name`: the archive's own name in entry form (or "" / a name nothing has).
  explicit FileCollector(std::string skip_entry_name);

  // Collects one spec. A spec that matches nothing adds nothing.
  // Throws mrw::Error for a found file whose name EntryNameOf refuses.
  void Add(const std::string& spec);

  const std::vector<CollectedFile>& files() const { return files_; }

 private:
  void AddRecursive(const std::string& folder, const std::string& mask,
                    std::vector<std::pair<std::uint64_t, std::uint64_t>>& inside);
  void AddMatches(const std::string& folder, const std::string& mask);
  void Consider(const std::string& path);

  std::string skip_key_;
  std::unordered_set<std::string> seen_;
  std::vector<CollectedFile> files_;
};

}  // namespace mrw::archive
