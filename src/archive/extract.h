// Restoring an archive's files below a folder of the caller's choice.
//
// Entry names are full paths of the writing machine; a file lands at its path relative to
// the longest common folder of all file entries (so a package's "...\mrw\" folder becomes
// the target folder itself). The archive is read and checked completely before anything
// is written, and nothing is written when it has a fault (a missing volume included) or a
// name would leave the target folder or collide with another entry's folder. Files are
// created without following links planted in the target folder, and get the entry's
// date as their modification time.
#pragma once

#include <string>
#include <vector>

namespace mrw::archive {

// Relative paths ("/"-joined, UTF-8) for the file entry names given (Windows-1252,
// "\"-delimited), in the same order. Throws mrw::Error naming the entry when a relative
// path would leave the folder (".." or "." parts, empty parts, a drive or root in the
// remainder) or when an entry's file would stand where another entry needs a folder.
std::vector<std::string> RelativeExtractPaths(const std::vector<std::string>& entry_names);

// Extracts every file entry of the archive `path` below `dir` (created when missing).
// Returns the written files' paths. Throws ArchiveFault or mrw::Error.
std::vector<std::string> ExtractArchive(const std::string& path, const std::string& dir);

}  // namespace mrw::archive
