#include "export/package.h"

#include <sys/stat.h>

#include <exception>

#include "archive/backup_file.h"
#include "archive/package.h"
#include "export/locale_time.h"
#include "export/transfer.h"
#include "foundation/errors.h"
#include "foundation/file_io.h"
#include "foundation/folders.h"
#include "foundation/guid.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/ui_hooks.h"

namespace mrw {
namespace {

constexpr std::string_view kQuestion = "<B>Möchten Sie weitere Informationen für diesen Export hinterlegen?";
constexpr std::string_view kWithMessage = "Der Sender hat weitere Infos hinterlegt:";
constexpr std::string_view kWithoutMessage = "Der Sender hat keine weiteren Infos hinterlegt.";
constexpr std::string_view kErrorPrefix = "Folgender Fehler ist aufgetreten:\r\n";
constexpr std::string_view kWriterFailed = "Creation of self extracting EXE failed or aborted";

constexpr const char* kFixedFiles[] = {"info.rtf",      "local.usr",     "Adressen.adi",
                                       "Adressen.adt",  "Adressen.adm",  "Auftraege.adi",
                                       "Auftraege.adt", "Auftraege.adm"};

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace

std::string MakePackageFileName(DateTime now) {
  return MakePackageFileName(now, GetComputerNameStr(), GetUserNameStr(), NewGuid());
}

std::string MakePackageFileName(DateTime now, const std::string& computer, const std::string& user,
                                const std::string& guid) {
  return CleanFileName(ExportTimeStamp(now) + computer + "-" + user + "[" + guid + "].Qtf", false);
}

int64_t GetFileSize64(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

std::vector<std::string> LocalUsrLines(const PackageSource& source) {
  return {"{49DE51CE-4B66-4F67-AC13-360564A3F24A}",
          "Quillmar Auftrag Export",
          "[LOCAL]",
          "FirstOrderID2=" + source.first_order_id2,
          "FirstOrderID=" + std::to_string(source.first_order_id),
          "GUID=" + source.database_guid};
}

std::vector<std::string> InfoRtfLines(const std::optional<std::string>& message) {
  if (!message) return {std::string(kWithoutMessage)};
  std::vector<std::string> lines = SplitLines(*message);
  lines.insert(lines.begin(), std::string(kWithMessage));
  return lines;
}

std::vector<std::string> PackageFileList(const std::string& work_folder,
                                         const std::vector<std::string>& attachments,
                                         const ExportState& state) {
  const std::string folder = ExportFolder(work_folder);
  std::vector<std::string> list;
  for (const char* name : kFixedFiles) list.push_back(folder + name);
  list.insert(list.end(), attachments.begin(), attachments.end());
  list.insert(list.end(), state.LetterFiles.begin(), state.LetterFiles.end());
  return list;
}

std::vector<std::string> CopyAttachmentFolders(const std::string& host_folder,
                                               const std::string& work_folder,
                                               const ExportState& state,
                                               const RetryPolicy& copy_retry) {
  const std::string source_root =
      AddPathDelimiter(ResolveNameCase(AddPathDelimiter(host_folder) + "L2ROOT_ORDER"));
  const std::string target_root = ExportFolder(work_folder) + "L2ROOT_ORDER/";
  std::vector<std::string> targets;
  std::vector<std::string> names;
  for (const OrderIdPair& pair : state.OrderIdMap) {
    const std::string source = source_root + std::to_string(pair.OldID) + "/";
    const std::string target = target_root + std::to_string(pair.NewID) + "/";
    FindFiles(source + "*.*", names, false, "");
    for (const std::string& name : names) {
      // An attachment that cannot be written would otherwise be missing from the package
      // without anyone noticing.
      if (!CopyFileSafe(source + name, target + name, copy_retry)) {
        throw FileCreateError("Datei " + target + name + " kann nicht erstellt werden");
      }
      targets.push_back(target + name);
    }
  }
  return targets;
}

bool BuildPackage(const PackageJob& job, ExportState& state, ExportUi& ui) {
  const std::string folder = ExportFolder(job.work_folder);
  const std::string info_rtf = folder + "info.rtf";
  if (!job.out_dir.empty()) {
    try {
      ForceFolders(job.out_dir);
    } catch (const std::exception&) {
      // Creating the package file below reports the real problem.
    }
  }

  BusyCursorOff();
  DeleteFileIfExists(info_rtf);
  if (ui.AskQuestion(std::string(kQuestion))) {
    if (std::optional<std::string> text = ui.RunMessageEditor()) {
      try {
        SaveStringsRetry(InfoRtfLines(text), info_rtf);
      } catch (const std::exception&) {
        // The default text below takes its place.
      }
    }
  }
  BusyCursorOn();

  const std::string path = (job.out_dir.empty() ? folder : job.out_dir) + job.file_name;
  bool path_taken = false;
  try {
    SaveStringsRetry(LocalUsrLines(job.source), folder + "local.usr");
    if (!FileExistsEx(info_rtf)) SaveStringsRetry(InfoRtfLines(std::nullopt), info_rtf);

    std::vector<std::string> attachments =
        CopyAttachmentFolders(job.host_folder, job.work_folder, state, job.copy_retry);
    std::vector<std::string> files = PackageFileList(job.work_folder, attachments, state);

    if (!DeleteFileIfExists(path)) {
      throw FileCreateError("Datei " + path + " kann nicht erstellt werden");
    }
    path_taken = true;
    state.LastPackagePath = path;

    archive::TBackupFile writer;
    archive::SetPackageSettings(writer);
    writer.OnProgress = [&ui](archive::TBackupFile&, const std::string&, std::uint8_t percent, bool&) {
      ui.SetProgressVisible(percent < 100);
      if (percent < 100) {
        ui.SetProgressMax(100);
        ui.SetProgressPosition(percent);
      }
    };
    if (!archive::WritePackage(writer, files, path)) {
      BusyCursorOff();
      ui.ShowMessage(std::string(kWriterFailed));
      return false;
    }
  } catch (const std::exception& e) {
    // No half-made package may stay where a finished one is expected.
    if (path_taken) DeleteFileIfExists(path);
    ui.SetProgressVisible(false);
    BusyCursorOff();
    ui.ShowMessage(std::string(kErrorPrefix) + e.what());
    return false;
  }
  BusyCursorOff();
  return true;
}

}  // namespace mrw
