// mrw extract: restores the files of a package below a folder.
#include <iostream>

#include "archive/extract.h"
#include "cli/command.h"

namespace mrw::cli {
namespace {

int RunExtract(const std::vector<std::string>& args) {
  ParsedArgs parsed = ParseArgs(args, {});
  if (parsed.positional.size() != 2) throw UsageError("needs PACKAGE and DIR");
  archive::ExtractArchive(parsed.positional[0], parsed.positional[1]);
  return 0;
}

MRW_COMMAND(Command{
    "extract",
    "restore the files of a transfer package below a folder",
    "usage: mrw extract PACKAGE DIR\n\n"
    "Writes every file entry below DIR at its path relative to the longest common folder\n"
    "of all entries (a package's mrw folder becomes DIR). The package is checked first;\n"
    "nothing is written when it is damaged, a volume is missing, or a name would leave\n"
    "DIR.\n",
    RunExtract});

}  // namespace
}  // namespace mrw::cli
