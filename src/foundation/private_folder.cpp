#include "foundation/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/errors.h"
#include "foundation/paths.h"

namespace mrw {
namespace {

[[noreturn]] void Refuse(const std::string& folder, const std::string& reason) {
  throw Error("Das Verzeichnis " + folder + " " + reason +
              " und wird aus Sicherheitsgründen nicht benutzt (erwartet: ein eigenes "
              "Verzeichnis mit den Rechten 0700).");
}

}  // namespace

void EnsurePrivateFolder(const std::string& folder) {
  std::string path = folder.size() > 1 ? RemovePathDelimiter(folder) : folder;
  bool created = mkdir(path.c_str(), 0700) == 0;
  if (!created && errno != EEXIST) {
    throw InOutError("Verzeichnis " + path + " kann nicht erstellt werden: " +
                         std::strerror(errno), 3);
  }
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    throw InOutError("Verzeichnis " + path + " kann nicht erstellt werden: " +
                         std::strerror(errno), 3);
  }
  if (S_ISLNK(st.st_mode)) Refuse(path, "ist ein symbolischer Link");
  if (!S_ISDIR(st.st_mode)) Refuse(path, "ist kein Verzeichnis");

  // Judge the folder through a descriptor so a swap after the lstat changes nothing.
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) Refuse(path, std::string("kann nicht geprüft werden (") + std::strerror(errno) + ")");
  if (fstat(fd, &st) != 0) {
    int error = errno;
    close(fd);
    Refuse(path, std::string("kann nicht geprüft werden (") + std::strerror(error) + ")");
  }
  if (st.st_uid != geteuid()) {
    close(fd);
    Refuse(path, "gehört einem anderen Benutzer");
  }
  mode_t mode = st.st_mode & 07777;
  if (created && mode != 0700) {
    // Only a folder made just now is set right; the umask may have taken bits away.
    fchmod(fd, 0700);
    fstat(fd, &st);
    mode = st.st_mode & 07777;
  }
  close(fd);
  if ((mode & 077) != 0 || (mode & 0700) != 0700) {
    char text[64];
    std::snprintf(text, sizeof text, "hat die Rechte %04o", static_cast<unsigned>(mode));
    Refuse(path, text);
  }
}

}  // namespace mrw
