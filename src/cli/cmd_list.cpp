// mrw list: the header and one line per entry of an archive or package.
#include <iostream>

#include "archive/dos_time.h"
#include "archive/reader.h"
#include "cli/command.h"
#include "foundation/codepage.h"

namespace mrw::cli {
namespace {

class Lister : public archive::EntryConsumer {
 public:
  void Header(const archive::ArchiveInfo& info) override {
    std::cout << "title: " << AnsiToUtf8(info.title) << "\n"
              << "total size: " << info.total_size << "\n"
              << "files: " << info.file_count << "\n";
  }
  void EndEntry(const archive::EntryInfo& entry) override {
    std::cout << AnsiToUtf8(entry.name) << "\t" << archive::DosDateTimeText(entry.date) << "\t"
              << entry.size << "\t" << entry.stored_chunks + entry.compressed_chunks << " chunks ("
              << entry.stored_chunks << " stored, " << entry.compressed_chunks << " compressed)\n";
  }
};

int RunList(const std::vector<std::string>& args) {
  ParsedArgs parsed = ParseArgs(args, {});
  if (parsed.positional.size() != 1) throw UsageError("needs exactly one PACKAGE");
  Lister lister;
  try {
    archive::ReadArchive(parsed.positional.front(), {}, &lister);
  } catch (...) {
    std::cout.flush();
    throw;
  }
  return 0;
}

MRW_COMMAND(Command{
    "list",
    "list the entries of a transfer package or archive",
    "usage: mrw list PACKAGE\n\n"
    "Prints the title, the total size and the file count, then one line per entry: name,\n"
    "DOS date and time, size, and the number of chunks (stored and compressed). Works on\n"
    "archives without trailer and follows further volumes. A damaged archive is listed up\n"
    "to its first fault, which goes to stderr (exit 1).\n",
    RunList});

}  // namespace
}  // namespace mrw::cli
