#include "delivery/accounts.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <cerrno>
#include <utility>

#include "delivery/account_format.h"
#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/folders.h"
#include "foundation/paths.h"

namespace mrw::delivery {

const TACC* TAccounts::Find(std::string_view id) const {
  const int index = IndexOf(id);
  return index < 0 ? nullptr : &accounts_[static_cast<size_t>(index)];
}

int TAccounts::IndexOf(std::string_view id) const {
  for (size_t n = 0; n < accounts_.size(); ++n) {
    if (Utf8SameTextAnsi(accounts_[n].accountId, id)) return static_cast<int>(n);
  }
  return -1;
}

void TAccounts::Read(std::string_view bytes) { accounts_ = ParseAccountFile(bytes); }

void TAccounts::Sort() {
  // Byte order of the ANSI texts, as the host compares them (UTF-8 order would differ for
  // letters beyond ASCII).
  std::stable_sort(accounts_.begin(), accounts_.end(), [](const TACC& a, const TACC& b) {
    return Utf8ToAnsi(a.ShownName()) < Utf8ToAnsi(b.ShownName());
  });
}

std::string TAccounts::Write() {
  std::string bytes;
  for (TACC& account : accounts_) {
    account.fileName = account.leaveOutFileName ? std::string() : LastPathComponent(account.fileName);
    if (account.colour1 == 0) account.colour1 = kColourNone;
    if (account.colour2 == 0) account.colour2 = kColourNone;
    bytes += FormatAccountLine(account);
  }
  return bytes;
}

std::string TAccounts::WriteHandOverFile(std::string_view id, bool raise) {
  const int index = IndexOf(id);
  if (index < 0) {
    if (raise) throw Error("Account \"" + std::string(id) + "\" not found");
    return {};
  }
  std::string bytes;
  std::swap(accounts_[0], accounts_[static_cast<size_t>(index)]);
  try {
    bytes = Write();
  } catch (...) {
    std::swap(accounts_[0], accounts_[static_cast<size_t>(index)]);
    throw;
  }
  std::swap(accounts_[0], accounts_[static_cast<size_t>(index)]);
  // A fresh name each time; should one exist already (a hash collision), take another.
  for (int attempt = 1;; ++attempt) {
    const std::string path = GetUniqueTempName() + ".sac";
    try {
      WritePrivateFile(path, bytes);
      return path;
    } catch (const FileCreateError&) {
      if (attempt == 5 || !FileExistsEx(path, false)) throw;
    }
  }
}

void DeleteStaleHandOverFiles(std::chrono::hours age, const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::string where;
  try {
    where = folder.empty() ? GetTempFolder("") : folder;
  } catch (const std::exception&) {
    return;
  }
  const auto cutoff = fs::file_time_type::clock::now() - age;
  for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() != ".sac" || !it->is_regular_file(ec) || it->is_symlink(ec)) continue;
    const auto written = it->last_write_time(ec);
    if (!ec && written <= cutoff) fs::remove(it->path(), ec);
  }
}

void WritePrivateFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw FileCreateError("Datei " + path + " kann nicht erstellt werden");
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      ::unlink(path.c_str());
      throw FileCreateError("Datei " + path + " kann nicht erstellt werden");
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) {
    ::unlink(path.c_str());
    throw FileCreateError("Datei " + path + " kann nicht erstellt werden");
  }
}

}  // namespace mrw::delivery
