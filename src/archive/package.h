// Transfer packages: the archive written into a new file by BackupToStream, followed by
// the 4-byte trailer (the archive's offset in the file, always 0).
#pragma once

#include <string>
#include <vector>

#include "archive/backup_file.h"

namespace mrw::archive {

// The settings every package is written with: the package title, bmAll, clFastest.
void SetPackageSettings(TBackupFile& writer);

// Creates `path` anew, lets `writer` (with its current settings) pack `files` into it and
// appends the trailer. Returns false when the writer fails or is cancelled (it has
// reported its error itself). Throws FileCreateError when the file cannot be created and
// mrw::Error when the trailer cannot be written. Whenever no complete package results,
// the file is deleted, so a half-written package never stays behind.
bool WritePackage(TBackupFile& writer, const std::vector<std::string>& files,
                  const std::string& path);

}  // namespace mrw::archive
