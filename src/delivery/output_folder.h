// Where saved packages go, and the only-save mode.
//
// The output folder is remembered per installation: key TF_Marrowby.OutDir of section MODE
// in the UserMode.INI of the program's own folder. Without a stored folder the desktop's
// MRW_DATA folder is used (created, not stored). The only-save mode is remembered per host
// database: key MRW.OnlySave in the UserMode.INI of its settings folder.
#pragma once

#include <functional>
#include <string>

namespace mrw::delivery {

inline constexpr const char* kOutDirKey = "TF_Marrowby.OutDir";
inline constexpr const char* kOnlySaveKey = "MRW.OnlySave";
inline constexpr const char* kChooseOutDirTitle = "Wählen Sie das Verzeichnis für die Ausgabedatei:";

// The desktop folder + "MRW_DATA/"; "" when no desktop folder can be found.
std::string DefaultOutDir();

// The output folder for one save: the stored folder (used even when it no longer exists;
// the package assembly creates it), else the default, created. With a trailing "/"; ""
// only when neither can be had. `program_folder` holds the installation's UserMode.INI.
std::string ResolveOutDir(const std::string& program_folder);

// The folder button: offers the stored folder (or the default when the stored one is
// missing or no folder) in `choose(initial, title)`. A chosen folder is stored with a
// trailing "/" and read back; the result is the folder read back, or the offered one when
// the user cancelled ("" from `choose`). A store that fails leaves the earlier value.
using FolderChooser = std::function<std::string(const std::string& initial, const std::string& title)>;
std::string ChooseOutDir(const std::string& program_folder, const FolderChooser& choose);

// The only-save mode of the host database whose settings folder is given (read without
// write-back; false by default), and storing it.
bool ReadOnlySave(const std::string& settings_folder);
void StoreOnlySave(const std::string& settings_folder, bool only_save);

}  // namespace mrw::delivery
