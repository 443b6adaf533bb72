// Folders: creating them, the program's, temporary, special and client folders, deleting
// files and trees, and listing a folder's files. Folder paths returned end with "/".
//
// Hidden means the name starts with "." (there is no system attribute). Deleting and
// listing leave hidden entries alone, and so the folders that hold them.
#pragma once

#include <string>
#include <vector>

namespace mrw {

// Creates `folder` and every missing parent. Throws InOutError("Verzeichnis kann nicht
// erstellt werden", 3) for ""; any other failure gives False. True when the folder exists
// afterwards (also when it already did, or when it is the root).
bool ForceFolders(const std::string& folder);

// Makes sure the folder part of `file_name` exists (ForceFolders when it is no folder;
// a name without folder part throws as ForceFolders("") does).
void EnsureFileFolder(const std::string& file_name);

// The running program's folder.
std::string GetExeFolder();

// $TMPDIR, else $XDG_RUNTIME_DIR, else the user's private "/tmp/qm-runtime-<uid>/" (a
// shared /tmp would make the private QMTempDir below it a folder only one user can own);
// with "/". "" when none can be had.
std::string GetSystemTempPath();

// GetSystemTempPath + "QMTempDir/" [+ purpose + "/"], created. "QMTempDir" is a private
// folder of the effective user; when it is a symbolic link, not the user's own or open to
// others, mrw::Error is thrown instead of using it (see EnsurePrivateFolder).
std::string GetTempFolder(const std::string& purpose);

// GetTempFolder("") + the decimal ELF hash of a fresh GUID; no extension, no file made.
std::string GetUniqueTempName();

// The all-users documents folder + "QM-ClientRoot/default/", created.
std::string GetClientRoot();

// The shell folders the system asks for, by their traditional numbers.
enum class ShellFolder : int {
  Desktop = 0x00,          // the XDG desktop folder ($HOME/Desktop when none is set)
  Documents = 0x05,        // the XDG documents folder ($HOME when none is set)
  CommonDocuments = 0x2E,  // $QM_COMMON_DOCUMENTS, else the XDG documents folder
};

// The folder's path without trailing "/". When there is none (no home folder), shows
// "Systemfehler:\r\n" + the system's error text (ShowFatalMessage) and ends the program.
std::string GetSpecialFolder(ShellFolder id);
// The folder's path with "/", or "" when there is none.
std::string GetShellFolder(ShellFolder id);

// True at once when nothing of that name exists; otherwise deletes it (a link: the link
// only) and returns whether that worked. Folders are not deleted. Write protection does
// not stand in the way, as deleting depends only on the folder.
bool DeleteFileForced(const std::string& name);
// Deletes the file when FileExistsEx finds it; True when there was nothing to delete.
bool DeleteFileIfExists(const std::string& name);
// DeleteFileForced for every entry of `folder` matching `mask` that is neither hidden nor
// a folder nor a link to one. An empty folder name deletes nothing (it never means the
// current folder).
void DeleteFiles(const std::string& folder, const std::string& mask);
// DeleteFiles(folder, "*.*"), then removes the folder when it is empty.
void DeleteFolder(const std::string& folder);
// Deletes every non-hidden subfolder of `folder` with its contents, and with
// `remove_folder` also the folder's own files and the folder. Hidden entries stay, and so
// the folders that hold them. Links to folders are removed as links: the tree walk never
// leaves the folder through a link.
void DeleteTree(const std::string& folder, bool remove_folder);

// True when `name` matches the mask with "*" and "?" ignoring letter case (Windows-1252
// letter rules, as the host's file names come from a case-insensitive world). "*" and
// "*.*" match every name; "x.*" also matches "x".
bool MatchesFileMask(const std::string& name, const std::string& mask);

// Clears `list`, then adds prefix + name for every regular, non-hidden file (links
// followed) in the mask's folder matching the mask's file part, upper-cased when asked.
// No recursion. The names come sorted without regard to case, so the result does not
// depend on the file system's order. Failures end the listing silently.
void FindFiles(const std::string& mask, std::vector<std::string>& list, bool upper_case,
               const std::string& prefix);

}  // namespace mrw
