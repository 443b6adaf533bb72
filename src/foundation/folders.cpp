#include "foundation/folders.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>

#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/guid.h"
#include "foundation/paths.h"
#include "foundation/private_folder.h"
#include "foundation/runtime_dir.h"
#include "foundation/ui_hooks.h"

namespace mrw {
namespace {

std::string StripDelimiters(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool ForceFoldersBelow(const std::string& folder) {
  std::string dir = StripDelimiters(folder);
  if (dir == "/" || FolderExistsEx(dir)) return true;
  std::string parent = StripDelimiters(ExtractFilePath(dir));
  // A relative name without folder part lies in the current folder, which exists.
  if (!parent.empty() && parent != dir && !ForceFoldersBelow(parent)) return false;
  if (mkdir(dir.c_str(), 0777) == 0) return true;
  // Someone else may have made it meanwhile.
  return errno == EEXIST && IsFolder(dir);
}

struct Entry {
  std::string name;
  struct stat st;  // lstat of the entry
};

// The non-hidden entries of a folder ("." and ".." are hidden too).
std::vector<Entry> VisibleEntries(const std::string& folder) {
  std::vector<Entry> entries;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return entries;
  std::string base = AddPathDelimiter(folder);
  while (dirent* d = readdir(dir)) {
    if (d->d_name[0] == '.') continue;
    Entry entry{d->d_name, {}};
    if (lstat((base + entry.name).c_str(), &entry.st) == 0) entries.push_back(std::move(entry));
  }
  closedir(dir);
  return entries;
}

bool LeadsToFolder(const std::string& link) {
  struct stat st;
  return stat(link.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  struct passwd pw;
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(geteuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && *found->pw_dir)
    return found->pw_dir;
  return "";
}

// A user folder by the rules of xdg-user-dir: the XDG_<KEY>_DIR line of user-dirs.dirs
// ("$HOME/..." or an absolute path), else the environment variable of that name, else the
// fallback below the home folder.
std::string XdgUserDir(const std::string& key, const std::string& fallback) {
  std::string home = HomeFolder();
  if (home.empty()) return "";
  std::string variable = "XDG_" + key + "_DIR";
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string config_home = config && *config == '/' ? config : home + "/.config";
  std::ifstream in(config_home + "/user-dirs.dirs");
  std::string line;
  std::optional<std::string> value;
  while (std::getline(in, line)) {
    auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    if (line.compare(start, variable.size() + 1, variable + "=") != 0) continue;
    std::string raw = line.substr(start + variable.size() + 1);
    if (raw.size() < 2 || raw.front() != '"') continue;
    std::string text;
    for (size_t i = 1; i < raw.size() && raw[i] != '"'; ++i) {
      if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
      text += raw[i];
    }
    if (text.rfind("$HOME", 0) == 0 && (text.size() == 5 || text[5] == '/')) {
      value = home + text.substr(5);
    } else if (!text.empty() && text.front() == '/') {
      value = text;
    }
  }
  if (!value) {
    if (const char* env = std::getenv(variable.c_str()); env && *env) value = env;
  }
  std::string result = value ? *value : home + fallback;
  return StripDelimiters(result);
}

std::string ShellFolderPath(ShellFolder id) {
  switch (id) {
    case ShellFolder::Desktop:
      return XdgUserDir("DESKTOP", "/Desktop");
    case ShellFolder::Documents:
      return XdgUserDir("DOCUMENTS", "");
    case ShellFolder::CommonDocuments:
      if (const char* common = std::getenv("QM_COMMON_DOCUMENTS"); common && *common)
        return StripDelimiters(common);
      return XdgUserDir("DOCUMENTS", "");
  }
  return "";
}

// One character of UTF-8 text (a lead byte and its continuation bytes).
size_t CharLength(std::string_view text, size_t at) {
  size_t end = at + 1;
  while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  return end - at;
}

bool Glob(std::string_view name, std::string_view mask) {
  size_t n = 0, m = 0;
  size_t star_m = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star_m = ++m;
      star_n = n;
    } else if (m < mask.size() && mask[m] == '?') {
      n += CharLength(name, n);
      ++m;
    } else if (m < mask.size() && mask[m] == name[n]) {
      ++n;
      ++m;
    } else if (star_m != std::string_view::npos) {
      // Let the last "*" take one more character and try again from there.
      star_n += CharLength(name, star_n);
      n = star_n;
      m = star_m;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool ForceFolders(const std::string& folder) {
  if (folder.empty()) throw InOutError("Verzeichnis kann nicht erstellt werden", 3);
  return ForceFoldersBelow(folder);
}

void EnsureFileFolder(const std::string& file_name) {
  std::string folder = ExtractFileDir(file_name);
  if (!IsFolder(folder)) ForceFolders(folder);
}

std::string GetExeFolder() {
  std::vector<char> buffer(4096);
  ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return "";
  return ExtractFilePath(std::string(buffer.data(), static_cast<size_t>(n)));
}

std::string GetSystemTempPath() {
  for (const char* variable : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
    if (const char* value = std::getenv(variable); value && *value) return AddPathDelimiter(value);
  }
  // /tmp itself is shared by every user; the temp folder is private to one user, so a
  // shared "/tmp/QMTempDir" would let the first user lock every other out. Without either
  // variable the user's own runtime folder below /tmp serves instead.
  try {
    return GetRuntimeFolder();
  } catch (const Error&) {
    return "";
  }
}

std::string GetTempFolder(const std::string& purpose) {
  std::string base = AddPathDelimiter(GetSystemTempPath());
  if (!base.empty() && !IsFolder(base)) ForceFolders(base);
  std::string folder = base + "QMTempDir/";
  EnsurePrivateFolder(folder);
  if (!purpose.empty()) {
    folder += purpose + "/";
    ForceFolders(folder);
  }
  return folder;
}

std::string GetUniqueTempName() {
  return GetTempFolder("") + std::to_string(ElfHash(NewGuid()));
}

std::string GetClientRoot() {
  std::string root =
      AddPathDelimiter(GetSpecialFolder(ShellFolder::CommonDocuments)) + "QM-ClientRoot/default/";
  ForceFolders(root);
  return root;
}

std::string GetSpecialFolder(ShellFolder id) {
  errno = 0;
  std::string path = ShellFolderPath(id);
  if (path.empty()) {
    int error = errno ? errno : ENOENT;
    ShowFatalMessage(std::string("Systemfehler:\r\n") + std::strerror(error));
    std::exit(1);
  }
  return path;
}

std::string GetShellFolder(ShellFolder id) { return AddPathDelimiter(ShellFolderPath(id)); }

bool DeleteFileForced(const std::string& name) {
  struct stat st;
  if (lstat(name.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) return true;
  return unlink(name.c_str()) == 0;
}

bool DeleteFileIfExists(const std::string& name) {
  if (!FileExistsEx(name)) return true;
  return unlink(name.c_str()) == 0;
}

void DeleteFiles(const std::string& folder, const std::string& mask) {
  if (folder.empty()) return;
  std::string base = AddPathDelimiter(folder);
  for (const Entry& entry : VisibleEntries(base)) {
    if (S_ISDIR(entry.st.st_mode)) continue;
    if (S_ISLNK(entry.st.st_mode) && LeadsToFolder(base + entry.name)) continue;
    if (MatchesFileMask(entry.name, mask)) DeleteFileForced(base + entry.name);
  }
}

void DeleteFolder(const std::string& folder) {
  DeleteFiles(folder, "*.*");
  if (!folder.empty() && IsFolder(folder)) rmdir(StripDelimiters(folder).c_str());
}

void DeleteTree(const std::string& folder, bool remove_folder) {
  if (folder.empty()) return;
  std::string base = AddPathDelimiter(folder);
  for (const Entry& entry : VisibleEntries(base)) {
    std::string path = base + entry.name;
    if (S_ISDIR(entry.st.st_mode)) {
      DeleteTree(path, true);
    } else if (S_ISLNK(entry.st.st_mode) && LeadsToFolder(path)) {
      unlink(path.c_str());
    }
  }
  if (remove_folder) DeleteFolder(base);
}

bool MatchesFileMask(const std::string& name, const std::string& mask) {
  if (mask == "*" || mask == "*.*") return true;
  std::string upper_name = Utf8AnsiUpper(name);
  std::string upper_mask = Utf8AnsiUpper(mask);
  if (Glob(upper_name, upper_mask)) return true;
  return upper_mask.size() >= 2 && upper_mask.ends_with(".*") &&
         Glob(upper_name, std::string_view(upper_mask).substr(0, upper_mask.size() - 2));
}

void FindFiles(const std::string& mask, std::vector<std::string>& list, bool upper_case,
               const std::string& prefix) {
  list.clear();
  std::string folder = ExtractFilePath(mask);
  std::string pattern = ExtractFileName(mask);
  if (pattern.empty()) return;
  std::vector<std::string> names;
  for (const Entry& entry : VisibleEntries(folder)) {
    struct stat st = entry.st;
    if (S_ISLNK(st.st_mode) && stat((folder + entry.name).c_str(), &st) != 0) continue;
    if (S_ISREG(st.st_mode) && MatchesFileMask(entry.name, pattern)) names.push_back(entry.name);
  }
  std::vector<std::pair<std::string, std::string>> keyed;
  for (auto& name : names) keyed.emplace_back(Utf8AnsiUpper(name), std::move(name));
  std::sort(keyed.begin(), keyed.end());
  for (auto& [upper, name] : keyed) list.push_back(prefix + (upper_case ? upper : name));
}

}  // namespace mrw
