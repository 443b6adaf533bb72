#include "foundation/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "foundation/codepage.h"

namespace mrw {

std::string AddPathDelimiter(std::string_view path) {
  std::string result(path);
  if (!result.empty() && result.back() != '/') result += '/';
  return result;
}

std::string RemovePathDelimiter(std::string_view path) {
  std::string result(path);
  if (!result.empty() && result.back() == '/') result.pop_back();
  return result;
}

std::string ExtractFilePath(std::string_view name) {
  auto slash = name.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(name.substr(0, slash + 1));
}

std::string ExtractFileDir(std::string_view name) {
  std::string folder = ExtractFilePath(name);
  return folder == "/" ? folder : RemovePathDelimiter(folder);
}

std::string ExtractFileName(std::string_view name) {
  auto slash = name.rfind('/');
  return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

namespace {

// Position of the extension's "." in `name`, npos when the file part has none.
size_t ExtensionDot(std::string_view name) {
  auto dot = name.rfind('.');
  auto slash = name.rfind('/');
  if (dot == std::string_view::npos) return dot;
  if (slash != std::string_view::npos && dot < slash) return std::string_view::npos;
  return dot;
}

// Errors that mean "there is nothing of that name" rather than "cannot look".
bool IsNotThere(int error) {
  return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == EINVAL ||
         error == ELOOP;
}

// Looks the last part of `name` up in its folder's listing; the entry's type when found.
std::optional<unsigned char> ListedType(const std::string& name) {
  std::string folder = ExtractFilePath(name);
  std::string file = ExtractFileName(name);
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::nullopt;
  std::optional<unsigned char> type;
  while (dirent* entry = readdir(dir)) {
    if (file == entry->d_name) {
      type = entry->d_type;
      break;
    }
  }
  closedir(dir);
  return type;
}

}  // namespace

std::string ExtractFileExt(std::string_view name) {
  auto dot = ExtensionDot(name);
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view name, std::string_view ext) {
  auto dot = ExtensionDot(name);
  std::string result(dot == std::string_view::npos ? name : name.substr(0, dot));
  result += ext;
  return result;
}

bool FileExistsEx(const std::string& name, bool follow_links) {
  struct stat st;
  if (lstat(name.c_str(), &st) != 0) {
    if (IsNotThere(errno)) return false;
    auto type = ListedType(name);
    return type && *type != DT_DIR;
  }
  if (!S_ISLNK(st.st_mode)) return !S_ISDIR(st.st_mode);
  if (!follow_links) return true;
  struct stat target;
  if (stat(name.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) return false;
  // O_NONBLOCK: a link to a FIFO must not hang the test.
  int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd >= 0) {
    close(fd);
    return true;
  }
  return errno == EBUSY || errno == ETXTBSY;
}

bool FolderExistsEx(const std::string& name, bool follow_links) {
  struct stat st;
  if (lstat(name.c_str(), &st) != 0) return !IsNotThere(errno);
  if (!S_ISLNK(st.st_mode)) return S_ISDIR(st.st_mode);
  struct stat target;
  bool reachable = stat(name.c_str(), &target) == 0;
  if (follow_links) return reachable && S_ISDIR(target.st_mode);
  return !reachable || S_ISDIR(target.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ResolveNameCase(const std::string& path) {
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) == 0) return path;

  std::vector<std::string> parts;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  std::string resolved = path.front() == '/' ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string candidate = resolved + parts[i];
    if (lstat(candidate.c_str(), &st) != 0) {
      DIR* dir = opendir(resolved.empty() ? "." : resolved.c_str());
      if (!dir) return path;
      std::optional<std::string> best;
      while (dirent* entry = readdir(dir)) {
        std::string_view found = entry->d_name;
        if (Utf8SameTextAnsi(found, parts[i]) && (!best || found < *best)) best = found;
      }
      closedir(dir);
      if (!best) return path;
      candidate = resolved + *best;
    }
    resolved = candidate;
    if (i + 1 < parts.size()) resolved += '/';
  }
  if (path.back() == '/') resolved += '/';
  return resolved;
}

}  // namespace mrw
