#include "delivery/output_folder.h"

#include "foundation/folders.h"
#include "foundation/paths.h"
#include "foundation/user_mode.h"

namespace mrw::delivery {

std::string DefaultOutDir() {
  std::string desktop = GetShellFolder(ShellFolder::Desktop);
  // Without a desktop there is no default: a bare "MRW_DATA/" would land wherever the
  // program happens to run.
  if (desktop.empty()) return "";
  return desktop + "MRW_DATA/";
}

std::string ResolveOutDir(const std::string& program_folder) {
  std::string out_dir = UserModeReadString(kOutDirKey, "", program_folder);
  if (out_dir.empty()) {
    out_dir = DefaultOutDir();
    if (out_dir.empty()) return "";
    ForceFolders(out_dir);
  }
  return AddPathDelimiter(out_dir);
}

std::string ChooseOutDir(const std::string& program_folder, const FolderChooser& choose) {
  std::string out_dir = UserModeReadString(kOutDirKey, "", program_folder);
  if (out_dir.empty() || !IsFolder(out_dir)) {
    out_dir = DefaultOutDir();
    if (!out_dir.empty()) ForceFolders(out_dir);
  }
  std::string chosen = choose(out_dir, kChooseOutDirTitle);
  if (chosen.empty()) return out_dir;
  UserModeWriteString(kOutDirKey, AddPathDelimiter(chosen), program_folder);
  return UserModeReadString(kOutDirKey, "", program_folder);
}

bool ReadOnlySave(const std::string& settings_folder) {
  return UserModeReadBool(kOnlySaveKey, false, settings_folder);
}

void StoreOnlySave(const std::string& settings_folder, bool only_save) {
  UserModeWriteBool(kOnlySaveKey, only_save, settings_folder);
}

}  // namespace mrw::delivery
