#include "archive/package.h"

#include <unistd.h>

#include "archive/byte_sink.h"
#include "archive/format.h"
#include "foundation/errors.h"

namespace mrw::archive {

void SetPackageSettings(TBackupFile& writer) {
  writer.BackupTitle(std::string(kPackageTitle));
  writer.BackupMode(TBackupMode::bmAll);
  writer.CompressionLevel(TCompressionLevel::clFastest);
}

bool WritePackage(TBackupFile& writer, const std::vector<std::string>& files,
                  const std::string& path) {
  FileSink sink(path);
  bool written = false;
  try {
    // The archive begins the file: its offset is the file's length before it, 0.
    const std::int64_t archive_offset = sink.Position();
    if (writer.BackupToStream(files, &sink)) {
      std::string trailer;
      PutInt32(trailer, static_cast<std::int32_t>(archive_offset));
      sink.Write(trailer);
      sink.Close();
      written = true;
    }
  } catch (...) {
    try {
      sink.Close();
    } catch (...) {
    }
    unlink(path.c_str());
    throw;
  }
  if (!written) {
    try {
      sink.Close();
    } catch (...) {
    }
    unlink(path.c_str());
  }
  return written;
}

}  // namespace mrw::archive
