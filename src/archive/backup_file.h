// TBackupFile: the archive writer. Collects files from file specs, sums their sizes,
// writes the optional file list, and packs every file in 16384-byte chunks (each an
// independent zlib stream, or stored raw when that would not fit) into the transfer
// archive format (archive/format.h), reporting progress after every chunk.
//
// Properties are read with X() and set with X(value). Events are plain function members;
// they run on the calling thread, as does ProcessPendingEvents (foundation/ui_hooks.h)
// after every chunk. Compression may use worker threads (CompressionThreads) without any
// change to the bytes, the events or what a cancelled run leaves behind.
//
// Results: true means the end mark was written. Failures are reported once per run
// through OnError or the default error reporter (archive/backup_errors.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/byte_sink.h"

namespace mrw::archive {

enum class TBackupMode { bmAll, bmIncremental };
enum class TCompressionLevel { clFastest, clNone, clDefault, clMax };
enum class TRestoreMode { rmAll, rmNoOverwrite, rmNewer, rmExisting, rmExistingNewer };

// The zlib level of each setting: 1, 0, -1 (zlib's default, 6), 9.
int ZlibLevelOf(TCompressionLevel level);

class TBackupFile {
 public:
  using TProgressEvent = std::function<void(TBackupFile& sender, const std::string& filename,
                                            std::uint8_t percent, bool& cont)>;
  using TNeedDiskEvent = std::function<void(TBackupFile& sender, std::uint16_t disk_id, bool& cont)>;
  using TBackupErrorEvent =
      std::function<void(TBackupFile& sender, int error, const std::string& err_string)>;
  // Restoring is not part of this system: these two are kept settable and never raised.
  using TRestoreFileEvent =
      std::function<void(TBackupFile& sender, std::string& filename, int fa, bool& do_restore)>;
  using TFileRestoredEvent =
      std::function<void(TBackupFile& sender, std::string& filename, std::string& stream)>;

  static constexpr const char* kStreamArchiveName = ":STREAM";

  // Always "5.10"; assigning has no effect.
  std::string Version() const { return "5.10"; }
  void Version(const std::string&) {}

  const std::string& BackupTitle() const { return backup_title_; }
  void BackupTitle(std::string title) { backup_title_ = std::move(title); }

  // Switching to bmIncremental also turns SetArchiveFlag on. (Every file counts as
  // changed here, so bmIncremental collects what bmAll does.)
  TBackupMode BackupMode() const { return backup_mode_; }
  void BackupMode(TBackupMode mode);

  TCompressionLevel CompressionLevel() const { return compression_level_; }
  void CompressionLevel(TCompressionLevel level) { compression_level_ = level; }

  TRestoreMode RestoreMode() const { return restore_mode_; }
  void RestoreMode(TRestoreMode mode) { restore_mode_ = mode; }

  // Volume size limit in bytes; 0 = one volume. A limit too small for a chunk to fit
  // into a fresh volume (16488 bytes or less) stops the run with code 4 at the first
  // volume switch instead of making empty volumes without end.
  std::int32_t MaxSize() const { return max_size_; }
  void MaxSize(std::int32_t bytes) { max_size_ = bytes; }

  // Clearing the archive attribute: files have no such attribute here, so this changes
  // nothing on disk.
  bool SetArchiveFlag() const { return set_archive_flag_; }
  void SetArchiveFlag(bool on) { set_archive_flag_ = on; }

  bool RestoreFullPath() const { return restore_full_path_; }
  void RestoreFullPath(bool on) { restore_full_path_ = on; }

  bool SaveFileID() const { return save_file_id_; }
  void SaveFileID(bool on) { save_file_id_ = on; }

  // Compressing threads: 0 = as many as the machine has cores (at most 4), 1 = all on the
  // calling thread. The archive's bytes do not depend on it.
  unsigned CompressionThreads() const { return compression_threads_; }
  void CompressionThreads(unsigned threads) { compression_threads_ = threads; }

  TProgressEvent OnProgress;
  TNeedDiskEvent OnNeedDisk;
  TRestoreFileEvent OnRestoreFile;
  TFileRestoredEvent OnFileRestored;
  TBackupErrorEvent OnError;

  // Packs into a new archive file (created or truncated, locked for this writer), with
  // MaxSize volumes. Exceptions while collecting and summing (an unreadable file, a name
  // the archive cannot carry) pass to the caller.
  bool Backup(const std::vector<std::string>& files, const std::string& archive_name);

  // Packs into the caller's stream from its current position; MaxSize is set to 0 first
  // and stays 0. False at once for a null stream; every exception gives false. The
  // stream is flushed but neither closed nor freed.
  bool BackupToStream(const std::vector<std::string>& files, ByteSink* stream);

  // Reports an error code through OnError or the default error reporter.
  void ShowError(int code);

 private:
  class Run;

  std::string backup_title_;
  TBackupMode backup_mode_ = TBackupMode::bmAll;
  TCompressionLevel compression_level_ = TCompressionLevel::clFastest;
  TRestoreMode restore_mode_ = TRestoreMode::rmExisting;
  std::int32_t max_size_ = 0;
  bool set_archive_flag_ = false;
  bool restore_full_path_ = false;
  bool save_file_id_ = true;
  unsigned compression_threads_ = 0;
};

}  // namespace mrw::archive
