// File links in message texts: "file://" followed by a file path in which every blank is
// written as "*"; in a text a link ends at the next blank or line end. A path may begin
// with the placeholder "[SERVER]" or "[INTERN]", standing for the first and the second of
// the shared document roots.
//
// The roots are the first two lines of "_InternalRootsSetupFile.TXT" in the folder
// "Quillmar.Network.Alias.Docs/" of the client root, each with a trailing "/" (a missing
// line gives an empty root). Reading them writes the file back, so it exists afterwards;
// a file of that name in the program's own folder is moved there first (kept only when the
// client root has none yet).
//
// Paths are absolute Linux paths; a link only ever names an absolute path, so an empty
// root never turns a link into a name relative to the current folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mrw {

struct DocRoots {
  std::string server;  // "[SERVER]", first line, "" or ending in "/"
  std::string intern;  // "[INTERN]", second line, "" or ending in "/"
};

inline constexpr std::string_view kFileLinkPrefix = "file://";
inline constexpr std::string_view kServerPlaceholder = "[SERVER]";
inline constexpr std::string_view kInternPlaceholder = "[INTERN]";
inline constexpr std::string_view kRootsFolderName = "Quillmar.Network.Alias.Docs/";
inline constexpr std::string_view kRootsFileName = "_InternalRootsSetupFile.TXT";

// True for a web or mail address: it begins (ignoring case) with "http:", "https:",
// "ftp:", "telnet:", "gopher:", "prospero:", "nntp:", "wais:", "mailto:", "news:", "www."
// or "ftp.", or it contains "@" and is no path (no "/" and no ":\").
bool IsWebAddress(std::string_view text);

// The file a link names, or "" when it names none: "file://" dropped, "*" turned back into
// blanks; web and mail addresses name no file. Tried in this order: the placeholder of
// the first root replaced by it, then that of the second; then every "//" replaced by the
// first root, then by the second. The first candidate that is an existing file wins.
std::string ResolveFileLink(std::string_view link, const DocRoots& roots);

// The link for a file path, CR LF included: unless the path holds a placeholder, a
// leading first root becomes "[SERVER]"; blanks become "*"; "file://" goes in front.
std::string WriteFileLink(std::string_view path, const DocRoots& roots);

// The links in a text, in order: every "file://" up to the next blank or line end.
std::vector<std::string> FindFileLinks(std::string_view text);

// Reads the roots as described above, with the client root folder and the program's own
// folder given (both ending in "/"). Failures to read or write the file are not errors:
// what could not be read is empty.
DocRoots ReadDocRoots(const std::string& client_root, const std::string& program_folder);
// The same for this installation (GetClientRoot, GetExeFolder).
DocRoots ReadDocRoots();

}  // namespace mrw
