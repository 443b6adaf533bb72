// TFastIniFile: every INI file of the system. The whole file is read once, on the first
// operation, into a line list (see ini_items.h); reads and writes work on that list, and
// the file is written back, with CR LF after every line, only when something changed.
// Lines nobody touched keep their bytes, comments behind a value keep their column when
// the value changes, and changes made by others after loading are overwritten.
//
// Texts in this interface are UTF-8; the file itself is Windows-1252. Section and key
// names compare case-insensitively by the Windows-1252 letter rules (umlauts included).
// A name that does not exist in exactly this letter case is looked up case-insensitively
// in its folder (ResolveNameCase), so an existing "Marrowby.ini" serves "MARROWBY.INI".
//
// Failures: a missing file reads as empty and is created (with its folder) by the first
// write. A file that stays held for the retry budget (see ini_file_stream.h) throws
// FileCreateError: "Datei %s kann nicht geöffnet werden" when loading, "Datei %s kann
// nicht erstellt werden" when writing. With an empty file name, writing throws
// InOutError("Verzeichnis kann nicht erstellt werden", 3). Names and values that the line
// format cannot hold (line breaks, zero bytes; in keys also "=" and a leading "[" or ";")
// are refused with mrw::Error before anything changes.
//
// The destructor writes pending changes but cannot report a failure: it swallows it and
// the changes are lost. Callers that must know call UpdateFile() first, which throws
// (the destructor then has nothing left to do).
#pragma once

#include <string>
#include <vector>

#include "foundation/ini_file_stream.h"
#include "foundation/ini_items.h"

namespace mrw {

class TFastIniFile {
 public:
  explicit TFastIniFile(std::string file_name, IniRetry retry = {});
  ~TFastIniFile();
  TFastIniFile(const TFastIniFile&) = delete;
  TFastIniFile& operator=(const TFastIniFile&) = delete;

  const std::string& FileName() const { return file_name_; }

  // The key's value; `def` unchanged when the section or key is missing. A ";" outside
  // double quotes starts a comment, which is cut off (and the rest trimmed).
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def);
  // Sets the key, creating the section (at the end of the file) and the key (after the
  // section's last key line) when missing. An equal value changes nothing. An empty key
  // with an empty value writes the file (empty section) or erases the section.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

  // Decimal, or hexadecimal after "0x"/"0X"; anything else (or out of range) gives `def`.
  int ReadInteger(const std::string& section, const std::string& key, int def);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  // ReadInteger(def ? 1 : 0) != 0; written as "1" or "0".
  bool ReadBool(const std::string& section, const std::string& key, bool def);
  void WriteBool(const std::string& section, const std::string& key, bool value);

  // The section's keys in file order.
  std::vector<std::string> ReadSection(const std::string& section);
  // Every section name in file order, each once.
  std::vector<std::string> ReadSections();
  // "key=value" for every key of the section, the value as ReadString gives it.
  std::vector<std::string> ReadSectionValues(const std::string& section);

  void EraseSection(const std::string& section);
  void DeleteKey(const std::string& section, const std::string& key);

  // Writes the lines when modified; throws on failure (the changes stay pending).
  void UpdateFile();
  // Forgets the lines and any pending change; the next operation loads afresh.
  void Clear();
  bool Modified() const { return modified_; }

  // Name comparison: case-insensitive by Windows-1252 rules (default) or by ASCII only.
  void SetCaseInsensitive(bool on);
  // Compare names byte for byte (overrides the above while on).
  void SetExactNames(bool on);
  // ReadString cuts ";" comments off (default on).
  void SetStripComments(bool on) { strip_comments_ = on; }
  // ReadString removes one pair of enclosing double or single quotes (default off).
  void SetStripQuotes(bool on) { strip_quotes_ = on; }

 private:
  void Load();
  void ApplyNameMode();
  TSectionItem* FindSection(const std::string& ansi_section);
  // The section's parsed key lines in file order (none when it is missing).
  std::vector<const TIniItem*> KeyLines(const std::string& section);

  std::string file_name_;
  std::string disk_name_;  // file_name_ resolved against the folder's letter case
  IniRetry retry_;
  TIniItems items_;
  bool strip_comments_ = true;
  bool loaded_ = false;
  bool modified_ = false;
  bool case_insensitive_ = true;
  bool strip_quotes_ = false;
  bool exact_names_ = false;
};

}  // namespace mrw
