#include "archive/extract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>

#include "archive/dos_time.h"
#include "archive/reader.h"
#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/unique_fd.h"

namespace mrw::archive {

namespace {

std::vector<std::string> SplitName(const std::string& name) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = name.find('\\', start);
    parts.push_back(name.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

bool SafePart(const std::string& part) {
  if (part.empty() || part == "." || part == "..") return false;
  for (char c : part) {
    if (c == '/' || c == ':' || c == '\0') return false;
  }
  return true;
}

// Writes the archive's file entries to their planned places.
class Extractor : public EntryConsumer {
 public:
  Extractor(int dir_fd, std::string dir, std::vector<std::string> relative)
      : dir_fd_(dir_fd), dir_(std::move(dir)), relative_(std::move(relative)) {}

  void BeginEntry(const EntryInfo& entry) override {
    if (entry.is_file_list) return;
    if (next_ >= relative_.size()) throw Error("Archiv hat sich beim Entpacken verändert");
    current_path_ = dir_ + relative_[next_];
    out_ = UniqueFd(CreateBelow(relative_[next_++]));
  }

  void Data(std::string_view bytes) override {
    if (out_.get() < 0) return;
    while (!bytes.empty()) {
      ssize_t n = write(out_.get(), bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw Error("Datei " + current_path_ + " kann nicht geschrieben werden");
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  void EndEntry(const EntryInfo& entry) override {
    if (out_.get() < 0) return;
    if (auto moment = TimeFromDosDateTime(entry.date)) {
      timespec times[2] = {{*moment, 0}, {*moment, 0}};
      futimens(out_.get(), times);
    }
    if (close(out_.release()) != 0)
      throw Error("Datei " + current_path_ + " kann nicht geschrieben werden");
    written_.push_back(current_path_);
  }

  std::vector<std::string> written() const { return written_; }

 private:
  // Creates the file at `relative` below the target folder, walking the folders one by
  // one without following links, so nothing planted there redirects the file elsewhere.
  int CreateBelow(const std::string& relative) {
    UniqueFd folder(dup(dir_fd_));
    std::size_t start = 0;
    for (;;) {
      std::size_t slash = relative.find('/', start);
      std::string part = relative.substr(start, slash == std::string::npos ? slash : slash - start);
      if (slash == std::string::npos) {
        int fd = openat(folder.get(), part.c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0) throw FileCreateError("Datei " + current_path_ + " kann nicht erstellt werden");
        return fd;
      }
      if (mkdirat(folder.get(), part.c_str(), 0777) != 0 && errno != EEXIST)
        throw InOutError("Verzeichnis kann nicht erstellt werden", 3);
      int sub = openat(folder.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0) throw InOutError("Verzeichnis kann nicht erstellt werden", 3);
      folder = UniqueFd(sub);
      start = slash + 1;
    }
  }

  int dir_fd_;
  std::string dir_;
  std::vector<std::string> relative_;
  std::size_t next_ = 0;
  UniqueFd out_;
  std::string current_path_;
  std::vector<std::string> written_;
};

}  // namespace

std::vector<std::string> RelativeExtractPaths(const std::vector<std::string>& entry_names) {
  std::vector<std::vector<std::string>> split;
  for (const auto& name : entry_names) split.push_back(SplitName(name));
  std::size_t common = 0;
  if (!split.empty()) {
    common = split.front().size() - 1;
    for (const auto& parts : split) {
      std::size_t folder_parts = parts.size() - 1;
      std::size_t same = 0;
      while (same < common && same < folder_parts && parts[same] == split.front()[same]) ++same;
      common = same;
    }
  }
  std::vector<std::string> relative;
  std::set<std::string> files, folders;
  for (std::size_t i = 0; i < split.size(); ++i) {
    std::string path;
    for (std::size_t p = common; p < split[i].size(); ++p) {
      if (!SafePart(split[i][p]))
        throw Error("Eintrag " + AnsiToUtf8(entry_names[i]) + " läge außerhalb des Zielordners");
      if (!path.empty()) {
        folders.insert(path);
        path += '/';
      }
      path += AnsiToUtf8(split[i][p]);
    }
    files.insert(path);
    relative.push_back(std::move(path));
  }
  for (std::size_t i = 0; i < relative.size(); ++i) {
    if (folders.count(relative[i]))
      throw Error("Eintrag " + AnsiToUtf8(entry_names[i]) + " steht, wo ein anderer einen Ordner braucht");
  }
  return relative;
}

std::vector<std::string> ExtractArchive(const std::string& path, const std::string& dir) {
  ArchiveInfo info = ReadArchive(path);
  std::vector<std::string> names;
  for (const auto& entry : info.entries) {
    if (!entry.is_file_list) names.push_back(entry.name);
  }
  std::vector<std::string> relative = RelativeExtractPaths(names);

  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  UniqueFd dir_fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir_fd.get() < 0) throw InOutError("Verzeichnis kann nicht erstellt werden", 3);
  std::string base = dir.empty() || dir.back() == '/' ? dir : dir + "/";
  Extractor extractor(dir_fd.get(), base, std::move(relative));
  ReadArchive(path, {}, &extractor);
  return extractor.written();
}

}  // namespace mrw::archive
