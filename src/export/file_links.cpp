#include "export/file_links.h"

#include <array>

#include "foundation/file_io.h"
#include "foundation/folders.h"
#include "foundation/paths.h"

namespace mrw {
namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view with) {
  std::string out;
  if (find.empty()) return std::string(text);
  size_t pos = 0;
  for (;;) {
    size_t hit = text.find(find, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(with);
    pos = hit + find.size();
  }
  out.append(text.substr(pos));
  return out;
}

bool IsLinkEnd(char c) { return c == ' ' || c == '\r' || c == '\n'; }

// A candidate counts only as an absolute path: an empty root must not make a link name a
// file relative to whatever the current folder happens to be.
bool IsExistingFile(const std::string& path) {
  return !path.empty() && path.front() == '/' && FileExistsEx(path);
}

}  // namespace

bool IsWebAddress(std::string_view text) {
  static constexpr std::array<std::string_view, 12> kSchemes = {
      "http:", "https:", "ftp:", "telnet:", "gopher:", "prospero:",
      "nntp:", "wais:",  "mailto:", "news:", "www.",   "ftp."};
  for (std::string_view scheme : kSchemes) {
    if (StartsWithIgnoreCase(text, scheme)) return true;
  }
  return text.find('@') != std::string_view::npos && text.find('/') == std::string_view::npos &&
         text.find(":\\") == std::string_view::npos;
}

std::string ResolveFileLink(std::string_view link, const DocRoots& roots) {
  if (StartsWithIgnoreCase(link, kFileLinkPrefix)) link.remove_prefix(kFileLinkPrefix.size());
  std::string path = ReplaceAll(link, "*", " ");
  if (path.empty() || IsWebAddress(path)) return "";

  const std::array<std::pair<std::string_view, const std::string*>, 2> placeholders = {
      std::pair{kServerPlaceholder, &roots.server}, std::pair{kInternPlaceholder, &roots.intern}};
  for (const auto& [placeholder, root] : placeholders) {
    std::string candidate = ReplaceAll(path, placeholder, *root);
    if (IsExistingFile(candidate)) return candidate;
  }
  for (const auto& [placeholder, root] : placeholders) {
    if (root->empty()) continue;
    std::string candidate = ReplaceAll(path, "//", *root);
    if (IsExistingFile(candidate)) return candidate;
  }
  return "";
}

std::string WriteFileLink(std::string_view path, const DocRoots& roots) {
  std::string text(path);
  bool has_placeholder = text.find(kServerPlaceholder) != std::string::npos ||
                         text.find(kInternPlaceholder) != std::string::npos;
  // File names are case-sensitive here, so only the root itself, at the start of the
  // path, stands for "[SERVER]".
  if (!has_placeholder && !roots.server.empty() && text.starts_with(roots.server)) {
    text = std::string(kServerPlaceholder) + text.substr(roots.server.size());
  }
  return std::string(kFileLinkPrefix) + ReplaceAll(text, " ", "*") + "\r\n";
}

std::vector<std::string> FindFileLinks(std::string_view text) {
  std::vector<std::string> links;
  size_t pos = 0;
  for (;;) {
    size_t hit = text.find(kFileLinkPrefix, pos);
    if (hit == std::string_view::npos) break;
    size_t end = hit;
    while (end < text.size() && !IsLinkEnd(text[end])) ++end;
    links.emplace_back(text.substr(hit, end - hit));
    pos = end;
  }
  return links;
}

DocRoots ReadDocRoots(const std::string& client_root, const std::string& program_folder) {
  const std::string folder = AddPathDelimiter(client_root) + std::string(kRootsFolderName);
  const std::string file = ResolveNameCase(folder + std::string(kRootsFileName));
  const std::string stray =
      ResolveNameCase(AddPathDelimiter(program_folder) + std::string(kRootsFileName));

  std::vector<std::string> lines;
  try {
    if (!program_folder.empty() && FileExistsEx(stray)) {
      if (!FileExistsEx(file)) CopyFileSafe(stray, folder + std::string(kRootsFileName));
      // The copy in the program's folder goes only once the client root has one.
      if (FileExistsEx(ResolveNameCase(folder + std::string(kRootsFileName)))) DeleteFileIfExists(stray);
    }
    LoadStringsRetry(lines, ResolveNameCase(folder + std::string(kRootsFileName)));
  } catch (const std::exception&) {
    lines.clear();
  }
  lines.resize(2);

  try {
    SaveStringsRetry(lines, ResolveNameCase(folder + std::string(kRootsFileName)));
  } catch (const std::exception&) {
    // The roots are known; the file is only a convenience for the next reader.
  }
  return DocRoots{AddPathDelimiter(lines[0]), AddPathDelimiter(lines[1])};
}

DocRoots ReadDocRoots() { return ReadDocRoots(GetClientRoot(), GetExeFolder()); }

}  // namespace mrw
