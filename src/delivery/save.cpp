#include "delivery/save.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <optional>
#include <vector>

#include "delivery/output_folder.h"
#include "foundation/dates.h"
#include "foundation/folders.h"
#include "foundation/paths.h"
#include "foundation/ui_hooks.h"

namespace mrw::delivery {
namespace {

void RemoveQuietly(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

// Builds the package under its temporary name and gives it the final name. False when the
// package is not in place (the user has been told).
bool WritePackage(const SaveSteps& steps, SaveUi& ui, const std::string& out_dir,
                  const std::string& file_name) {
  const std::string temp_path = out_dir + TemporaryPackageName(file_name);
  bool built = false;
  try {
    built = steps.build_package(out_dir, TemporaryPackageName(file_name));
  } catch (...) {
    RemoveQuietly(temp_path);
    throw;
  }
  if (!built) {
    RemoveQuietly(temp_path);
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp_path, out_dir + file_name, ec);
  if (ec) {
    RemoveQuietly(temp_path);
    ui.ShowMessage("Folgender Fehler ist aufgetreten:\r\nDatei " + out_dir + file_name +
                   " kann nicht erstellt werden");
    return false;
  }
  return true;
}

void SaveBody(const SaveSteps& steps, SaveUi& ui, const SaveSettings& settings,
              SaveResult& result) {
  if (!steps.transfer_orders()) return;
  result.out_dir = settings.out_dir_override.empty()
                       ? ResolveOutDir(settings.program_folder)
                       : AddPathDelimiter(settings.out_dir_override);
  result.package_name = steps.make_package_file_name();
  if (result.out_dir.empty()) {
    // No stored folder and no desktop to put the default folder on: say so rather than end
    // the save without a word.
    ui.ShowMessage("Folgender Fehler ist aufgetreten:\r\nVerzeichnis kann nicht erstellt werden");
    return;
  }
  if (!WritePackage(steps, ui, result.out_dir, result.package_name)) return;
  result.saved = true;
  result.package_path = result.out_dir + result.package_name;
  steps.log_export("Gespeichert " + result.package_name + " in " + result.out_dir);
  if (!settings.only_save) ui.ShowMessage(SavedMessageHtml(result.package_path));
}

// The file's creation time (its modification time where the file system keeps none) as a
// local date value; nullopt when the file cannot be examined.
std::optional<DateTime> CreationTimeLocal(const std::string& path) {
  struct statx sx {};
  time_t seconds = 0;
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &sx) != 0) return std::nullopt;
  seconds = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
  struct tm local {};
  if (!localtime_r(&seconds, &local)) return std::nullopt;
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
         (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

}  // namespace

std::string TemporaryPackageName(const std::string& file_name) {
  return "." + file_name + ".part";
}

std::string SavedMessageHtml(const std::string& full_path) {
  return "<B>Die erzeugten Datei finden Sie hier:</B><BR><A href=\"SHOpenFolderAndSelectItems://" +
         full_path + "\">Klicken Sie hier</A>, um den entsprechenden <B>Ordner</B> zu öffnen.";
}

SaveResult RunSave(const SaveSteps& steps, SaveUi& ui, const SaveSettings& settings) {
  SaveResult result;
  BusyCursorOn();
  ui.ProcessPendingEvents();
  auto clean_up = [&] {
    BusyCursorOff();
    if (settings.only_save) {
      // The only-save mode ends every save, also a failed one, with the sound instead of a
      // message and keeps the window responsive while it plays.
      ui.PlayNotificationSound();
      ui.ProcessEventsFor(kOnlySavePause);
    }
  };
  try {
    steps.export_reset();
    SaveBody(steps, ui, settings, result);
  } catch (...) {
    clean_up();
    throw;
  }
  clean_up();
  return result;
}

long long WholeDaysBetween(double a, double b) {
  auto ms = static_cast<long long>(std::llround(std::fabs(a - b) * 86400000.0));
  return ms / 86400000;
}

void CleanSendFolder(const std::string& send_folder, double now) {
  std::vector<std::string> files;
  FindFiles(AddPathDelimiter(send_folder) + "*.qtf", files, false, AddPathDelimiter(send_folder));
  for (const std::string& path : files) {
    // A file gone meanwhile counts as made now, so it stays (there is nothing to delete).
    DateTime created = CreationTimeLocal(path).value_or(now);
    if (created == 0) continue;
    if (WholeDaysBetween(now, created) > 1) DeleteFileIfExists(path);
  }
}

}  // namespace mrw::delivery
