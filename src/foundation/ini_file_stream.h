// The file stream under TFastIniFile: opens or creates its file, trying again every
// `interval` while that fails, until `budget` has passed since the first failure; then it
// throws FileCreateError with "Datei %s kann nicht geöffnet werden" (opening) or
// "Datei %s kann nicht erstellt werden" (creating).
//
// "Held by another program" is an flock() here: an opened file is read under a shared
// lock (others may read, nobody may write meanwhile), a created file is written under an
// exclusive lock, and a lock that cannot be had counts as a failed attempt like any other.
// The file is truncated only once the exclusive lock is held, so a reader never sees a
// half-cleared file. Failures that waiting cannot change (no such file, a folder, a name
// too long, a read-only file system) are reported at once instead of after the budget.
//
// ReadAll and WriteAll move everything or report failure.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "foundation/unique_fd.h"

namespace mrw {

struct IniRetry {
  std::chrono::milliseconds interval{10};
  std::chrono::milliseconds budget{10000};
};

class TFileStreamEx {
 public:
  enum class Mode { kOpenRead, kCreate };

  // Throws FileCreateError as described above. kOpenRead of a file that does not exist
  // throws at once (callers test existence first); kCreate makes a new file.
  TFileStreamEx(const std::string& file_name, Mode mode, const IniRetry& retry = {});
  ~TFileStreamEx();
  TFileStreamEx(const TFileStreamEx&) = delete;
  TFileStreamEx& operator=(const TFileStreamEx&) = delete;

  // Appends the rest of the file to `out`; false on a read error.
  bool ReadAll(std::string& out);
  // False when not every byte could be written.
  bool WriteAll(std::string_view bytes);

 private:
  UniqueFd fd_;
};

}  // namespace mrw
