// The transfer package: its file name and its assembly from the work folder.
//
// After a successful transfer the export database, the copied letters and (copied here)
// the orders' attachments lie in the work folder's "MRW/". BuildPackage adds the sender's
// message "info.rtf" and the source description "local.usr", collects the package file
// list in its fixed order (the eight fixed files, the attachments in OrderIdMap order
// under MRW/L2ROOT_ORDER/<NewID>/, then the letter files) and writes the archive with
// the package title, all files, fastest compression, followed by the 4-byte trailer (the
// archive's offset in the file, always 0).
//
// BuildPackage writes to exactly the path it is given (the caller decides on temporary
// names) and never leaves a partly written package behind: whatever goes wrong after the
// file was created, it is removed again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/export_state.h"
#include "export/export_ui.h"
#include "foundation/dates.h"
#include "foundation/file_io.h"

namespace mrw {

// "d.mmm.yyyy[hh.nn]" + computer + "-" + user + "[" + GUID + "].Qtf", cleaned of the
// characters a file name cannot hold (blanks inside stay). The month is the user's
// locale's short name.
std::string MakePackageFileName(DateTime now);
std::string MakePackageFileName(DateTime now, const std::string& computer, const std::string& user,
                                const std::string& guid);

// The size of the file at `path`, or -1 when there is no file.
int64_t GetFileSize64(const std::string& path);

// What the host database says about itself (setup rows 15000, 15001 and 1).
struct PackageSource {
  std::string first_order_id2;  // "" when the row is missing
  int32_t first_order_id = 0;   // 0 when the row is missing or no whole number
  std::string database_guid;    // "" when the row is missing
};

// The six lines of local.usr (each written with CR LF, Windows-1252).
std::vector<std::string> LocalUsrLines(const PackageSource& source);

// The lines of info.rtf: "Der Sender hat keine weiteren Infos hinterlegt." when no message
// was left (nullopt), else "Der Sender hat weitere Infos hinterlegt:" followed by the
// message's lines (CR LF, CR or LF end a line; a final line end adds no empty line).
std::vector<std::string> InfoRtfLines(const std::optional<std::string>& message);

// The package file list (full paths) for the current state: the eight fixed files, the
// attachment targets in `attachments` (already copied), the letter files.
std::vector<std::string> PackageFileList(const std::string& work_folder,
                                         const std::vector<std::string>& attachments,
                                         const ExportState& state);

// Copies the attachment folder of each OrderIdMap pair (host folder + "L2ROOT_ORDER/" +
// OldID, plain non-hidden files directly in it) to work folder + "MRW/L2ROOT_ORDER/" +
// NewID and returns the target paths in order. A file that cannot be read throws; one
// that cannot be written after the copy's attempts throws FileCreateError as well.
std::vector<std::string> CopyAttachmentFolders(const std::string& host_folder,
                                               const std::string& work_folder,
                                               const ExportState& state,
                                               const RetryPolicy& copy_retry = CopyRetry());

struct PackageJob {
  std::string work_folder;  // GetTempFolder("mrw_root"), ending in "/"
  std::string host_folder;  // the host database folder, ending in "/"
  PackageSource source;
  // Output folder ending in "/", or "" for work folder + "MRW/".
  std::string out_dir;
  std::string file_name;
  // The attempts of each attachment copy's target (tests shorten the waits).
  RetryPolicy copy_retry = CopyRetry();
};

// The whole package step. Asks whether the sender wants to leave a message (and runs the
// editor), writes info.rtf and local.usr, copies the attachments, writes the package to
// out_dir + file_name and sets state.LastPackagePath to it. False when the package was not
// written; the user has been told why (the archive writer reports its own errors first).
// The progress bar follows the writer's progress.
bool BuildPackage(const PackageJob& job, ExportState& state, ExportUi& ui);

}  // namespace mrw
