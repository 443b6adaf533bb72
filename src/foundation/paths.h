// Path texts and existence tests. Paths are UTF-8 with "/" as the delimiter; a folder path
// the system hands around ends with "/".
//
// Symbolic links take the part of reparse points: the existence tests can judge a link
// itself or what it points to.
#pragma once

#include <string>
#include <string_view>

namespace mrw {

// "" stays ""; a path ending in "/" stays; anything else gets "/" appended.
std::string AddPathDelimiter(std::string_view path);
// Removes one trailing "/".
std::string RemovePathDelimiter(std::string_view path);

// The folder part up to and including the last "/" ("" when there is none).
std::string ExtractFilePath(std::string_view name);
// The folder part without its trailing "/" ("/" for a name in the root, "" when none).
std::string ExtractFileDir(std::string_view name);
// The part after the last "/".
std::string ExtractFileName(std::string_view name);
// The extension with its "." (from the last "." of the file part), "" when there is none.
std::string ExtractFileExt(std::string_view name);
// The name with its extension replaced by `ext` (appended when it has none).
std::string ChangeFileExt(std::string_view name, std::string_view ext);

// The one file-existence test of the system. True for anything that is not a folder.
// A link: without following, True; following, False when it leads to a folder, else True
// when the target can be opened for reading (or is busy).
// A name that cannot be examined for a reason other than "not there" (e.g. no search
// permission on its folder) is looked up in its folder's listing.
bool FileExistsEx(const std::string& name, bool follow_links = true);

// Folder-existence test. A name that cannot be examined for a reason other than "not
// there" counts as an existing folder (so nobody tries to create it). A link, following:
// whether it leads to a folder that can be opened. A link, not following: True when it
// leads to a folder or leads nowhere.
bool FolderExistsEx(const std::string& name, bool follow_links = true);

// True when the path (links followed) is a folder.
bool IsFolder(const std::string& path);

// Names the system builds ("Auftraege.adt") may exist in another letter case
// ("Auftraege.ADT"). Returns the path when it exists as given; otherwise each missing
// part is looked up case-insensitively (Windows-1252 letter rules) in its folder, an exact
// match winning and several candidates resolved by the first in byte order. Returns the
// input unchanged when some part cannot be found.
std::string ResolveNameCase(const std::string& path);

}  // namespace mrw
