// "Speichern": exports the chosen orders into a transfer package in the output folder.
//
// The chain is ExportReset, TransferOrders, the output folder, the package name, the
// package itself and the export log; RunSave drives it through SaveSteps so that the
// controller binds the real steps and tests can make any of them fail.
//
// The package is written under a hidden temporary name in the output folder and gets its
// final name only after it is complete (trailer included); whatever goes wrong, no file
// that looks like a finished package is left behind.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace mrw::delivery {

struct SaveSteps {
  std::function<void()> export_reset;
  std::function<bool()> transfer_orders;  // false: the step has told the user already
  std::function<std::string()> make_package_file_name;
  // Writes the package to out_dir + file_name; false: told the user already.
  std::function<bool(const std::string& out_dir, const std::string& file_name)> build_package;
  std::function<void(const std::string& action)> log_export;  // errors propagate
};

class SaveUi {
 public:
  virtual ~SaveUi() = default;
  virtual void ProcessPendingEvents() = 0;
  virtual void ShowMessage(const std::string& html) = 0;
  virtual void PlayNotificationSound() = 0;
  virtual void ProcessEventsFor(std::chrono::milliseconds duration) = 0;
};

struct SaveSettings {
  bool only_save = false;
  // The folder that holds the installation's UserMode.INI (the stored output folder).
  std::string program_folder;
  // When set, the output folder of this save instead of the stored one (not stored).
  std::string out_dir_override;
};

struct SaveResult {
  bool saved = false;
  std::string out_dir;       // with trailing "/"
  std::string package_name;  // LastPackageName
  std::string package_path;  // out_dir + package_name once saved
};

// The whole "Speichern" action. Errors of the export log propagate (after the clean-up:
// busy cursor off, and in only-save mode the sound and the two-second pause), as they reach
// the application's error display; the package is in place by then.
SaveResult RunSave(const SaveSteps& steps, SaveUi& ui, const SaveSettings& settings);

// The message after a save: where the package is, with the link that shows it.
std::string SavedMessageHtml(const std::string& full_path);

// The hidden name a package is written under before it is complete.
std::string TemporaryPackageName(const std::string& file_name);

inline constexpr std::chrono::milliseconds kOnlySavePause{2000};

// At window close: deletes the package copies ("*.qtf", any letter case, no subfolders)
// that sending left in `send_folder` once they are two whole days old by their creation
// time (the modification time where the file system keeps no creation time). Failures are
// not reported. `now` is the local date and time.
void CleanSendFolder(const std::string& send_folder, double now);

// Whole days between two date values as the clean-up counts them (milliseconds of the
// absolute difference divided by a day's, remainder dropped).
long long WholeDaysBetween(double a, double b);

}  // namespace mrw::delivery
