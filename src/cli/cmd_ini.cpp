// mrw ini: read or write one key of an INI file exactly as the programs do (TFastIniFile).
#include <iostream>

#include "cli/command.h"
#include "foundation/fast_ini_file.h"

namespace mrw::cli {
namespace {

int RunIni(const std::vector<std::string>& args) {
  ParsedArgs parsed = ParseArgs(args, {});
  const auto& p = parsed.positional;
  if (p.empty()) throw UsageError("get or set expected");
  if (p[0] == "get") {
    if (p.size() != 4 && p.size() != 5) throw UsageError("get needs FILE SECTION KEY [DEFAULT]");
    TFastIniFile ini(p[1]);
    std::cout << ini.ReadString(p[2], p[3], p.size() == 5 ? p[4] : "") << "\n";
    return 0;
  }
  if (p[0] == "set") {
    if (p.size() != 5) throw UsageError("set needs FILE SECTION KEY VALUE");
    TFastIniFile ini(p[1]);
    ini.WriteString(p[2], p[3], p[4]);
    // What freeing the object would write, but with its failure reported.
    ini.UpdateFile();
    return 0;
  }
  throw UsageError("unknown action '" + p[0] + "' (get or set)");
}

}  // namespace

MRW_COMMAND(Command{
    "ini",
    "read or write one key of an INI file",
    "usage: mrw ini get FILE SECTION KEY [DEFAULT]\n"
    "       mrw ini set FILE SECTION KEY VALUE\n"
    "\n"
    "get prints the key's value and a newline (DEFAULT, or an empty line, when the section\n"
    "or key is missing); a \";\" comment behind the value is cut off.\n"
    "set writes the value; the file (and its folder) is created when missing, and it is\n"
    "rewritten only when the value changes. Comments and untouched lines keep their bytes.\n"
    "\n"
    "Names compare without regard to letter case; the file is Windows-1252, the arguments\n"
    "and the output UTF-8. Put \"--\" before arguments that start with \"--\".\n"
    "A file another program holds is waited for up to 10 seconds.\n",
    RunIni});

}  // namespace mrw::cli
