// mrw pack: runs the archive writer on file specs, into an archive file of its
// own (Backup, volumes allowed) or, with --package, into a transfer package.
#include <iostream>
#include <limits>

#include "archive/backup_file.h"
#include "archive/package.h"
#include "cli/command.h"

namespace mrw::cli {
namespace {

using archive::TCompressionLevel;

TCompressionLevel ParseLevel(const std::string& text) {
  if (text == "fastest") return TCompressionLevel::clFastest;
  if (text == "none") return TCompressionLevel::clNone;
  if (text == "default") return TCompressionLevel::clDefault;
  if (text == "max") return TCompressionLevel::clMax;
  throw UsageError("--level must be fastest, none, default or max");
}

unsigned long long ParseCount(const std::string& option, const std::string& text,
                              unsigned long long max) {
  std::size_t used = 0;
  unsigned long long value = 0;
  try {
    if (!text.empty() && text.front() != '-') value = std::stoull(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || value > max)
    throw UsageError("--" + option + " needs a number from 0 to " + std::to_string(max));
  return value;
}

int RunPack(const std::vector<std::string>& args) {
  ParsedArgs parsed = ParseArgs(args, {"title", "level", "max-size", "threads"}, {"no-file-list", "package"});
  if (parsed.positional.size() < 2) throw UsageError("needs ARCHIVE and at least one SPEC");
  bool package = parsed.Has("package");
  if (package && (parsed.Has("title") || parsed.Has("no-file-list") || parsed.Has("max-size")))
    throw UsageError("a package always has the package title, the file list and one volume");

  archive::TBackupFile writer;
  if (package) archive::SetPackageSettings(writer);
  writer.BackupTitle(parsed.ValueOr("title", writer.BackupTitle()));
  writer.SaveFileID(!parsed.Has("no-file-list"));
  writer.CompressionLevel(ParseLevel(parsed.ValueOr("level", "fastest")));
  writer.MaxSize(static_cast<std::int32_t>(
      ParseCount("max-size", parsed.ValueOr("max-size", "0"), std::numeric_limits<std::int32_t>::max())));
  writer.CompressionThreads(static_cast<unsigned>(ParseCount("threads", parsed.ValueOr("threads", "0"), 64)));
  writer.OnError = [](archive::TBackupFile&, int, const std::string& text) {
    std::cerr << "mrw pack: " << text << "\n";
  };
  // Volumes are files beside the first one: nothing to ask.
  writer.OnNeedDisk = [](archive::TBackupFile&, std::uint16_t, bool&) {};

  const std::string& target = parsed.positional.front();
  std::vector<std::string> specs(parsed.positional.begin() + 1, parsed.positional.end());
  bool ok = package ? archive::WritePackage(writer, specs, target) : writer.Backup(specs, target);
  return ok ? 0 : 1;
}

MRW_COMMAND(Command{
    "pack",
    "pack files into a transfer archive or package",
    "usage: mrw pack [--title T] [--no-file-list] [--level fastest|none|default|max]\n"
    "                [--max-size BYTES] [--threads N] ARCHIVE SPEC...\n"
    "       mrw pack --package [--level L] [--threads N] PACKAGE SPEC...\n\n"
    "Packs the files named by each SPEC (a file, a mask with * and ?, and \" /s\" at the end\n"
    "to include every non-hidden subfolder) into ARCHIVE. Defaults: empty title, file list\n"
    "on, level fastest, one volume; --max-size splits the archive into volumes ARCHIVE,\n"
    ".002, .003, ... With --package a transfer package is written: the package title,\n"
    "the file list, one volume and the 4-byte trailer. --threads sets the compressing\n"
    "threads (0 = one per core); the bytes do not depend on it.\n"
    "On failure the writer's error text goes to stderr and the exit code is 1.\n",
    RunPack});

}  // namespace
}  // namespace mrw::cli
